// KestrixDw.exe: the Windows wizard program.
#include "platform/win32/windows_support.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "platform/win32/win32_carried_tools.h"
#include "platform/win32/win32_process_launcher.h"
#include "platform/win32/win32_system.h"

namespace {

// The command line split by the system's rules; empty when it cannot be split.
std::vector<std::wstring> SplitCommandLine() {
  std::vector<std::wstring> arguments;
  int count = 0;
  const kestrune::windows::UniqueLocalMemory<LPWSTR*> list(
      CommandLineToArgvW(GetCommandLineW(), &count));
  if (!list.valid()) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(list.get()[i]);
  return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace kestrune::platform::win32;
  Win32ProcessLauncher processes;
  Win32CarriedTools carriedTools;
  Win32SystemInfo systemInfo;
  Win32RestartCleanup restartCleanup;
  Win32Clock clock;
  Win32Downloader downloader;
  Win32StandardOutput output;
  Win32ProcessSetup setup;

  kestrune::ToolServices tools{processes, carriedTools, systemInfo, restartCleanup, clock};
  kestrune::AppServices services{tools, downloader, output, setup};
  kestrune::CVantorApp app(services, nullptr);
  app.InitInstance(SplitCommandLine());
  return 0;
}
