#include "startup/wizard_branch.h"

#include <cstdio>
#include <cstdlib>

#include "app/work_area.h"
#include "engine/vantor_thread.h"
#include "startup/product_assembly.h"
#include "startup/wizard_startup.h"
#include "wizard/vantor_sheet.h"

namespace kestrune {

int RunWizardBranch(RunContext& context, MachinePorts& machine, ProcessPorts& process,
                    WizardFrontEnd& frontEnd, const WizardBranchOptions& options) {
  ProductServices product{{machine.diskInventory, machine.deviceTree, machine.osVersion,
                           machine.volumeInfo, process.naming},
                          frontEnd.ui().post,
                          process.power,
                          process.output};
  ProductAssembly assembly(product);
  WizardStartupServices services{frontEnd.ui(),   machine.discService,  process.tools,
                                 process.power,   machine.userRegistry, process.output,
                                 options.language};
  WizardStartup startup(services, assembly);

  if (options.jumpClock) {
    frontEnd.EnableIdleJumps([&frontEnd, &context] {
      CVantorSheet* sheet = context.sheet;
      CVantorThread* worker = sheet == nullptr ? nullptr : sheet->worker();
      return frontEnd.UserIdle() && (worker == nullptr || !worker->Busy());
    });
  }

  // The run's private work area, from the moment the wizard can be shown until it has ended.
  RunWorkArea workArea(process.tools, context);
  frontEnd.Start();
  startup.Run(context);
  frontEnd.Stop();
  const int status = frontEnd.Failed() ? 2 : 0;
  if (startup.WorkerAbandoned()) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (options.endAtOnce != nullptr) options.endAtOnce(status);
    std::_Exit(status);
  }
  return status;
}

}  // namespace kestrune
