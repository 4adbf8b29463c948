// KestrixDw.exe: the Windows wizard program.
#include "platform/win32/windows_support.h"

#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "platform/win32/ui/win32_wizard.h"
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

int WINAPI wWinMain(HINSTANCE module, HINSTANCE, PWSTR, int) {
  using namespace kestrune::platform::win32;
  // The disc service is used from the UI thread and the worker alike: the whole process is
  // one multithreaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
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
  Win32WizardBranch wizard(tools, module);
  kestrune::CVantorApp app(services, &wizard);
  app.InitInstance(SplitCommandLine());
  if (SUCCEEDED(com)) CoUninitialize();
  return wizard.ExitStatus();
}
