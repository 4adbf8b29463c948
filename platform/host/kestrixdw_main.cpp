// kestrixdw: the Linux build of the wizard program, on the real processes and files of this
// machine.
#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "platform/host/host_carried_tools.h"
#include "platform/host/host_process_launcher.h"
#include "platform/host/host_system.h"
#include "sim/sim_restart_cleanup.h"
#include "text/utf8.h"

int main(int argc, char** argv) {
  using namespace kestrune::platform::host;
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(kestrune::text::WideFromUtf8(argv[i]));

  const auto programFolder = ProgramFolder();
  HostProcessLauncher processes(programFolder / "kestrune-cmd");
  HostCarriedTools carriedTools(programFolder / "tools");
  HostSystemInfo systemInfo;
  // Linux has no delete-at-restart: the simulated machine records what the program asks for.
  kestrune::sim::SimRestartCleanup restartCleanup;
  HostClock clock;
  HostDownloader downloader(programFolder);
  HostStandardOutput output;
  HostProcessSetup setup;

  kestrune::ToolServices tools{processes, carriedTools, systemInfo, restartCleanup, clock};
  kestrune::AppServices services{tools, downloader, output, setup};
  kestrune::CVantorApp app(services, nullptr);
  app.InitInstance(arguments);
  return 0;
}
