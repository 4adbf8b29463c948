// diskpart.exe of the wine tests: the simulated machine's diskpart (sim/diskpart_standin.h)
// on the machine in the folder that KESTRUNE_MACHINE names, so that what it does to the disks
// is what the stand-in WMI service then reports. The tests put it into the prefix's system
// folder, where the program runs diskpart from. Only the form the program uses:
//
//   diskpart.exe /s SCRIPT       exit codes and output (CR LF, on standard output) as diskpart's
//
// With KESTRUNE_DISKPART_ACCESS_LOG naming a file, each run also appends the access list of
// the folder that holds SCRIPT (the program's private work area) to that file, as
// folder_access.h writes it after the lines "FOLDER <path>" and "RUNNING-AS <SID>": what the
// folder's list is while the program uses it.
#include "platform/win32/windows_support.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "sim/diskpart_standin.h"
#include "testing/win32/folder_access.h"
#include "sim/machine.h"
#include "text/utf8.h"

int wmain(int argc, wchar_t** argv) {
  namespace diskpart = kestrune::sim::diskpart;
  // diskpart's lines end with CR LF already; the stream must not add another CR.
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
  if (argc != 3 || _wcsicmp(argv[1], L"/s") != 0) {
    std::cerr << "diskpart (test stand-in): only /s SCRIPT\n";
    return diskpart::kBadParameters;
  }
  const wchar_t* folder = _wgetenv(L"KESTRUNE_MACHINE");
  if (folder == nullptr || *folder == L'\0') {
    std::cerr << "diskpart (test stand-in): KESTRUNE_MACHINE names no machine\n";
    return diskpart::kServiceFailed;
  }
  std::ifstream scriptFile(std::filesystem::path(argv[2]), std::ios::binary);
  std::ostringstream script;
  script << scriptFile.rdbuf();
  if (!scriptFile) {
    std::cout << "\r\nDiskPart was unable to open or read the script file "
              << kestrune::text::Utf8FromWide(argv[2]) << ".\r\n";
    return diskpart::kCannotOpenScript;
  }
  if (const wchar_t* log = _wgetenv(L"KESTRUNE_DISKPART_ACCESS_LOG"); log != nullptr && *log) {
    const std::filesystem::path scriptFolder =
        std::filesystem::absolute(std::filesystem::path(argv[2])).parent_path();
    std::ofstream out(std::filesystem::path(log), std::ios::binary | std::ios::app);
    out << "FOLDER " << kestrune::text::Utf8FromWide(scriptFolder.wstring()) << "\n"
        << "RUNNING-AS " << kestrune::testing::RunningAccountSid() << "\n"
        << kestrune::testing::DescribeFolderAccess(scriptFolder.wstring());
  }
  kestrune::sim::Machine machine{std::filesystem::path(folder)};
  const int code = kestrune::sim::RunDiskpartScript(machine, script.str(), std::cout);
  std::cout.flush();
  return code;
}
