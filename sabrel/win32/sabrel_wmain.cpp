#include "platform/win32/windows_support.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "sabrel/exit_codes.h"
#include "sabrel/sabrel_app.h"

/// Wide entry (linked with -municode), so that folder names outside the ANSI code page
/// reach the check intact.
int wmain(int argc, wchar_t** argv) {
  kestrune::windows::HardenSearchPaths();  // started by the elevated program: elevated too
  using namespace kestrune::sabrel;
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      args.push_back(kestrune::windows::NarrowText(argv[i], CP_UTF8));
    }
    return RunSabrel(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "Sabrel: " << e.what() << '\n';
    return ToInt(ExitCode::kInternalError);
  }
}
