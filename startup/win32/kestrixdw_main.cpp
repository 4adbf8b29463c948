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

#include "platform/win32/win32_carried_tools.h"
#include "platform/win32/win32_file_tree.h"
#include "platform/win32/win32_ports.h"
#include "platform/win32/win32_power_requests.h"
#include "platform/win32/win32_private_folders.h"
#include "platform/win32/win32_process_launcher.h"
#include "platform/win32/win32_repair_journal_store.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui_language.h"
#include "platform/win32/win32_volume_naming.h"
#include "startup/vantor_app.h"
#include "startup/win32/test_machine.h"
#include "startup/wizard_branch.h"
#include "ui/win32/win32_script_front_end.h"
#include "ui/win32/win32_toolkit.h"
#include "ui/win32/win32_transcript.h"

namespace kestrune::startup {
namespace {

using namespace platform::win32;

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

/// A worker that did not end still uses the process: end it without unwinding or detaching.
void EndAtOnce(int status) { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status)); }

/// The Windows toolkit, for a person or driven by the script.
class Win32FrontEnd final : public WizardFrontEnd {
 public:
  Win32FrontEnd(ui::win32::Win32Toolkit& toolkit, ui::win32::ScriptFrontEnd* script)
      : toolkit_(toolkit), script_(script) {}

  ViewPorts& ui() override { return toolkit_.ports(); }
  void EnableIdleJumps(std::function<bool()> idle) override {
    toolkit_.EnableIdleJumps(std::move(idle));
  }
  bool UserIdle() override { return script_ != nullptr && script_->Waiting(); }
  void Start() override {
    if (script_ != nullptr) script_->Start(GetStdHandle(STD_INPUT_HANDLE));
  }
  void Stop() override {
    if (script_ == nullptr) return;
    script_->Stop();
    toolkit_.SetObserver(nullptr);
  }
  bool Failed() override { return script_ != nullptr && script_->Failed(); }

 private:
  ui::win32::Win32Toolkit& toolkit_;
  ui::win32::ScriptFrontEnd* script_;
};

}  // namespace

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

  void Run(RunContext& context) override {
    Win32UiLanguage system;
    const Language language = ChooseLanguage(system);
    SetCurrentLanguage(language);
    ui::win32::Win32Toolkit toolkit(module_, language);

    std::unique_ptr<Transcript> transcript;
    std::unique_ptr<ui::win32::ScriptFrontEnd> script;
    const bool scripted = Environment(L"KESTRUNE_UI") == L"script";
    if (scripted) {
      transcript = OpenTranscript();
      if (!transcript) {
        exitStatus_ = 2;
        return;
      }
      ui::win32::ScriptFrontEnd::Options options;
      options.engine.timeout = ScriptTimeout();
      options.engine.runMachineTool = MachineToolForScripts();
      options.snapshotFolder = Environment(L"KESTRUNE_UI_SNAPSHOTS");
      script = std::make_unique<ui::win32::ScriptFrontEnd>(toolkit, *transcript, options);
      toolkit.SetObserver(script.get());
    }
    Win32FrontEnd frontEnd(toolkit, script.get());

    Win32Ports ports;
    MachinePorts machine{ports.discService,  ports.diskInventory,
                         ChooseDeviceTree(ports.deviceTree),
                         ports.userRegistry, ports.volumeInfo,    ports.osVersion};
    Win32VolumeNaming naming;
    Win32PowerRequests power;
    Win32StandardOutput output;
    ProcessPorts process{tools_, naming, power, output};
    WizardBranchOptions branch;
    branch.language = language;
    branch.jumpClock = scripted && Environment(L"KESTRUNE_UI_CLOCK") == L"jump";
    branch.endAtOnce = EndAtOnce;
    exitStatus_ = RunWizardBranch(context, machine, process, frontEnd, branch);
  }

  /// 0, or 2 after a script error (or when the transcript cannot be written).
  int ExitStatus() const { return exitStatus_; }

 private:
  ToolServices& tools_;
  HINSTANCE module_;
  int exitStatus_ = 0;
};

}  // namespace kestrune::startup

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
  kestrune::windows::HardenSearchPaths();  // before anything loads a library
  using namespace kestrune::platform::win32;
  using kestrune::startup::Win32WizardBranch;
  // The disc service is used from the UI thread and the worker alike: the whole process is
  // one multithreaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  Win32ProcessLauncher processes;
  Win32CarriedTools carriedTools;
  Win32SystemInfo systemInfo;
  Win32RestartCleanup restartCleanup;
  Win32Clock clock;
  Win32FileTree files;
  Win32PrivateFolders privateFolders;
  Win32Downloader downloader;
  Win32StandardOutput output;
  Win32ProcessSetup setup;
  Win32RepairJournalStore journals;
  Win32UserRegistry users;

  kestrune::ToolServices tools{processes, carriedTools, systemInfo, restartCleanup,
                               clock,     files,        privateFolders};
  kestrune::AppServices services{tools, downloader, output, setup, journals, users};
  Win32WizardBranch wizard(tools, module);
  kestrune::CVantorApp app(services, &wizard);
  app.InitInstance(SplitCommandLine());
  if (SUCCEEDED(com)) CoUninitialize();
  return wizard.ExitStatus();
}
