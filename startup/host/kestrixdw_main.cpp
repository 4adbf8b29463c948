// kestrixdw: the Linux build of the wizard program, on the real processes and files of this
// machine and, in the wizard mode, the simulated machine (sim/README.md).
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/host_carried_tools.h"
#include "platform/host/host_file_tree.h"
#include "platform/host/host_power_requests.h"
#include "platform/host/host_process_launcher.h"
#include "platform/host/host_repair_journal_store.h"
#include "platform/host/host_system.h"
#include "platform/host/host_ui_language.h"
#include "platform/host/host_volume_naming.h"
#include "platform/native_path.h"
#include "sim/machine_location.h"
#include "sim/sim_ports.h"
#include "sim/sim_restart_cleanup.h"
#include "sim/sim_user_registry.h"
#include "sim/sim_volume_events.h"
#include "startup/vantor_app.h"
#include "startup/wizard_branch.h"
#include "text/utf8.h"
#include "ui/host/device_watcher.h"
#include "ui/host/host_toolkit.h"
#include "ui/host/script_front_end.h"
#include "ui/host/terminal_front_end.h"
#include "ui/host/transcript.h"

extern char** environ;

namespace kestrune::startup {

using namespace platform::host;
namespace {

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::chrono::milliseconds ScriptTimeout() {
  const char* value = Environment("KESTRUNE_UI_TIMEOUT");
  if (value == nullptr) return std::chrono::seconds(120);
  char* end = nullptr;
  const double seconds = std::strtod(value, &end);
  if (end == value || *end != '\0' || seconds <= 0) return std::chrono::seconds(120);
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

/// Runs kestrune-machine from the program's folder with `arguments`; its exit code.
int RunMachineTool(const std::vector<std::string>& arguments) {
  const std::string program = (ProgramFolder() / "kestrune-machine").string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Its report would mix with the result line: standard output goes to standard error.
  posix_spawn_file_actions_adddup2(&actions, 2, 1);
  pid_t child = 0;
  const int started = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::unique_ptr<Transcript> OpenTranscript() {
  if (const char* path = Environment("KESTRUNE_UI_LOG")) {
    if (std::FILE* file = std::fopen(path, "w")) {
      return std::make_unique<Transcript>(file, true);
    }
    std::fprintf(stderr, "kestrixdw: cannot write the transcript to %s\n", path);
    return nullptr;
  }
  return std::make_unique<Transcript>(stderr, false);
}

/// The host toolkit with the front end the environment chose: the script or the terminal.
class HostFrontEnd final : public WizardFrontEnd {
 public:
  HostFrontEnd(ui::host::HostToolkit& toolkit, ui::host::ScriptFrontEnd* script,
               ui::host::TerminalFrontEnd* terminal)
      : toolkit_(toolkit), script_(script), terminal_(terminal) {}

  ViewPorts& ui() override { return toolkit_.ports(); }
  void EnableIdleJumps(std::function<bool()> idle) override {
    toolkit_.loop().EnableIdleJumps(std::move(idle));
  }
  bool UserIdle() override { return script_ != nullptr ? script_->Waiting() : terminal_->Idle(); }
  void Start() override {
    if (script_ != nullptr) script_->Start(0);
  }
  void Stop() override {
    if (script_ != nullptr) script_->Stop();
    if (terminal_ != nullptr) terminal_->Close();
    toolkit_.SetObserver(nullptr);
  }
  bool Failed() override { return script_ != nullptr && script_->Failed(); }

 private:
  ui::host::HostToolkit& toolkit_;
  ui::host::ScriptFrontEnd* script_;
  ui::host::TerminalFrontEnd* terminal_;
};

/// The wizard branch of the Linux program: opens the simulated machine (only in the wizard
/// mode), picks the front end from KESTRUNE_UI, and runs the wizard on them with the
/// product's device, writing and verification code.
///
///   KESTRUNE_UI unset         the terminal wizard when the process has a terminal (else it
///                             says so on standard error and prints nothing)
///   KESTRUNE_UI=terminal      the terminal wizard (ncursesw on /dev/tty)
///   KESTRUNE_UI_ASCII=1       the terminal wizard draws with ASCII only
///   KESTRUNE_UI=script        the scripted front end: commands on standard input, the
///                             transcript to KESTRUNE_UI_LOG (standard error when unset)
///   KESTRUNE_UI_TIMEOUT=S     seconds a script waits for the screen (default 120)
///   KESTRUNE_UI_CLOCK=jump    timers jump ahead whenever everything is idle
///   KESTRUNE_MACHINE=FOLDER   the simulated machine (sim/README.md)
class HostWizardBranch : public WizardBranch {
 public:
  explicit HostWizardBranch(ToolServices& tools) : tools_(tools) {}

  void Run(RunContext& context) override;

  /// The process's exit status after Run: 0, or 2 after a script error or when no front end
  /// could be started.
  int ExitStatus() const { return exitStatus_; }

 private:
  ToolServices& tools_;
  int exitStatus_ = 0;
};

/// The images as absolute paths. The steps run their tools in the images' folder and name the
/// images relative to it, which a path relative to this process's folder would defeat; a
/// path that would no longer fit stays as given.
void MakeSourcesAbsolute(RunContext& context) {
  for (uint32_t i = 0; i < context.sourceCount; ++i) {
    const std::filesystem::path given = platform::ToNativePath(context.sources[i].path.view());
    if (given.is_absolute()) continue;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(given, error);
    if (error) continue;
    static_cast<void>(context.sources[i].path.Assign(platform::FromNativePath(absolute.lexically_normal())));
  }
}

void HostWizardBranch::Run(RunContext& context) {
  MakeSourcesAbsolute(context);
  std::string why;
  const auto frontEnd = ui::host::ChooseFrontEnd(
      Environment("KESTRUNE_UI"), ui::host::TerminalFrontEnd::TerminalAttached(), why);
  if (!frontEnd) {
    std::fprintf(stderr, "kestrixdw: %s\n", why.c_str());
    exitStatus_ = 2;
    return;
  }
  const bool scripted = *frontEnd == ui::host::FrontEndKind::kScript;
  std::string error;
  const std::unique_ptr<sim::SimPorts> ports = sim::OpenHostPorts(error);
  if (!ports) {
    std::fprintf(stderr, "kestrixdw: %s\n", error.c_str());
    exitStatus_ = 2;
    return;
  }
  const std::unique_ptr<Transcript> transcript =
      scripted ? OpenTranscript() : std::make_unique<Transcript>(nullptr, false);
  if (!transcript) {
    exitStatus_ = 2;
    return;
  }

  HostUiLanguage system;
  const Language language = ChooseLanguage(system);
  SetCurrentLanguage(language);
  ui::host::HostToolkit toolkit(language);
  ui::host::DeviceWatcher watcher(
      [&ports](ui::host::DeviceSnapshot& snapshot) {
        sim::MachineDescription machine;
        if (!ports->machine.Read(machine)) return false;
        const sim::VolumeState state = sim::ReadVolumeState(machine);
        snapshot.devices = state.devices;
        for (const auto& [letter, medium] : state.volumes) snapshot.volumes[letter].medium = medium;
        return true;
      },
      [&toolkit](uint32_t event, uint32_t mask, uint16_t flags) {
        toolkit.PostDeviceChange(event, mask, flags);
      });
  ui::host::ScriptFrontEnd::Options options;
  options.timeout = ScriptTimeout();
  options.runMachineTool = RunMachineTool;
  options.pollDevices = [&watcher] { watcher.PollNow(); };
  ui::host::ScriptFrontEnd script(toolkit, *transcript, options);
  ui::host::TerminalFrontEnd terminal(toolkit, language);
  if (scripted) {
    toolkit.SetObserver(&script);
  } else {
    const std::string failure = terminal.Open();
    if (!failure.empty()) {
      std::fprintf(stderr, "kestrixdw: %s\n", failure.c_str());
      exitStatus_ = 2;
      return;
    }
    toolkit.SetObserver(&terminal);
  }
  HostFrontEnd front(toolkit, scripted ? &script : nullptr, scripted ? nullptr : &terminal);

  MachinePorts machine{ports->discService,  ports->diskInventory, ports->deviceTree,
                       ports->userRegistry, ports->volumeInfo,    ports->osVersion};
  HostVolumeNaming naming;
  RecordingPowerRequests power;
  HostStandardOutput output;
  ProcessPorts process{tools_, naming, power, output};
  WizardBranchOptions branch;
  branch.language = language;
  const char* clock = Environment("KESTRUNE_UI_CLOCK");
  branch.jumpClock = clock != nullptr && std::strcmp(clock, "jump") == 0;

  watcher.Start(std::chrono::milliseconds(200));
  exitStatus_ = RunWizardBranch(context, machine, process, front, branch);
}

}  // namespace
}  // namespace kestrune::startup

int main(int argc, char** argv) {
  using namespace kestrune::startup;
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(kestrune::text::WideFromUtf8(argv[i]));

  const auto programFolder = ProgramFolder();
  // The simulated machine's system folder and program data folder stand for Windows' own; the
  // machine itself is opened only by the wizard branch.
  kestrune::sim::Machine machine(kestrune::sim::HostMachineFolder());
  HostProcessLauncher processes(programFolder / "kestrune-cmd", machine.SystemFolder());
  HostCarriedTools carriedTools(programFolder / "tools");
  HostSystemInfo systemInfo(machine.SystemFolder());
  // Linux has no delete-at-restart: the simulated machine records what the program asks for.
  kestrune::sim::SimRestartCleanup restartCleanup;
  HostClock clock;
  HostFileTree files;
  HostPrivateFolders privateFolders(machine.ProgramDataFolder() / "Kestrune");
  HostDownloader downloader(programFolder);
  HostStandardOutput output;
  HostProcessSetup setup;
  // The journals lie beside the run folders; their repair writes the machine's hives.
  HostRepairJournalStore journals(machine.ProgramDataFolder() / "Kestrune" / "journal");
  kestrune::sim::SimUserRegistry users(machine);

  kestrune::ToolServices tools{processes, carriedTools, systemInfo, restartCleanup,
                               clock,     files,        privateFolders};
  kestrune::AppServices services{tools, downloader, output, setup, journals, users};
  HostWizardBranch wizard(tools);
  kestrune::CVantorApp app(services, &wizard);
  app.InitInstance(arguments);
  return wizard.ExitStatus();
}
