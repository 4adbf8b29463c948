// KestrixDw.exe: the Windows wizard program.
#include "platform/win32/windows_support.h"

#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "platform/win32/ui/win32_script_front_end.h"
#include "platform/win32/ui/win32_toolkit.h"
#include "platform/win32/ui/win32_transcript.h"
#include "platform/win32/win32_carried_tools.h"
#include "platform/win32/win32_ports.h"
#include "platform/win32/win32_power_requests.h"
#include "platform/win32/win32_process_launcher.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui_language.h"
#include "platform/win32/win32_volume_naming.h"
#include "wizard/product_assembly.h"
#include "wizard/vantor_sheet.h"
#include "wizard/wizard_startup.h"

namespace kestrune::platform::win32 {

/// Runs the wizard on the property sheet of the Windows toolkit over the Windows services.
///
///   KESTRUNE_UI=script          the scripted front end: commands on standard input, the
///                               transcript to KESTRUNE_UI_LOG (standard error when unset)
///   KESTRUNE_UI_TIMEOUT=S       seconds a script waits for the screen (default 120)
///   KESTRUNE_UI_SNAPSHOTS=DIR   where the script's `snapshot NAME` saves NAME.bmp
///   KESTRUNE_UI_CLOCK=jump      timers jump ahead whenever the script waits and the worker
///                               is idle (a 30-second disc scan takes no time)
///
/// Without KESTRUNE_UI the wizard is for a person, as the product ships it.
class Win32WizardBranch : public WizardBranch {
 public:
  Win32WizardBranch(ToolServices& tools, HINSTANCE module) : tools_(tools), module_(module) {}

  void Run(RunContext& context) override;

  /// 0, or 2 after a script error (or when the transcript cannot be written).
  int ExitStatus() const { return exitStatus_; }

 private:
  ToolServices& tools_;
  HINSTANCE module_;
  int exitStatus_ = 0;
};

namespace {

std::wstring Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value == nullptr ? std::wstring() : std::wstring(value);
}

std::chrono::milliseconds ScriptTimeout() {
  const std::wstring value = Environment(L"KESTRUNE_UI_TIMEOUT");
  wchar_t* end = nullptr;
  const double seconds = value.empty() ? 0 : std::wcstod(value.c_str(), &end);
  if (value.empty() || *end != L'\0' || seconds <= 0) return std::chrono::seconds(120);
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

std::unique_ptr<Transcript> OpenTranscript() {
  const std::wstring path = Environment(L"KESTRUNE_UI_LOG");
  if (path.empty()) {
    // Lines end with "\n" alone, as in the file and on Linux.
    _setmode(_fileno(stderr), _O_BINARY);
    return std::make_unique<Transcript>(stderr, false);
  }
  std::FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<Transcript>(file, true);
}

}  // namespace

void Win32WizardBranch::Run(RunContext& context) {
  Win32UiLanguage system;
  const Language language = ChooseLanguage(system);
  SetCurrentLanguage(language);

  Win32Toolkit toolkit(module_, language);
  Win32Ports ports;
  Win32VolumeNaming naming;
  Win32PowerRequests power;
  Win32StandardOutput output;
  ProductServices product{
      {ports.diskInventory, ports.deviceTree, ports.osVersion, ports.volumeInfo, naming},
      toolkit.ports().post,
      power,
      output};
  ProductAssembly assembly(product);
  WizardStartupServices services{
      toolkit.ports(), ports.discService, tools_, power, ports.userRegistry, output, language};
  WizardStartup startup(services, assembly);

  std::unique_ptr<Transcript> transcript;
  std::unique_ptr<ScriptFrontEnd> script;
  if (Environment(L"KESTRUNE_UI") == L"script") {
    transcript = OpenTranscript();
    if (!transcript) {
      exitStatus_ = 2;
      return;
    }
    ScriptFrontEnd::Options options;
    options.engine.timeout = ScriptTimeout();
    options.snapshotFolder = Environment(L"KESTRUNE_UI_SNAPSHOTS");
    script = std::make_unique<ScriptFrontEnd>(toolkit, *transcript, options);
    toolkit.SetObserver(script.get());
    if (Environment(L"KESTRUNE_UI_CLOCK") == L"jump") {
      toolkit.EnableIdleJumps([frontEnd = script.get(), &context] {
        CVantorSheet* sheet = context.sheet;
        CVantorThread* worker = sheet == nullptr ? nullptr : sheet->worker();
        return frontEnd->Waiting() && (worker == nullptr || !worker->Busy());
      });
    }
    script->Start(GetStdHandle(STD_INPUT_HANDLE));
  }

  startup.Run(context);

  if (script) {
    script->Stop();
    toolkit.SetObserver(nullptr);
    if (script->Failed()) exitStatus_ = 2;
  }
  if (startup.WorkerAbandoned()) {
    // The worker still uses what this scope owns: end here, without unwinding.
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitStatus_));
  }
}

}  // namespace kestrune::platform::win32

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
