#pragma once

#include <functional>

#include "app/run_context.h"
#include "app/tool_services.h"
#include "platform/device_tree.h"
#include "platform/disc_service.h"
#include "platform/disk_inventory.h"
#include "platform/os_version.h"
#include "platform/power_requests.h"
#include "platform/standard_output.h"
#include "platform/user_registry.h"
#include "platform/volume_info.h"
#include "platform/volume_naming.h"
#include "wizard/strings.h"
#include "wizard/view_ports.h"

namespace kestrune {

/// The machine's services that the wizard's parts use: the simulated machine's on Linux, the
/// Windows services on Windows.
struct MachinePorts {
  platform::DiscService& discService;
  platform::DiskInventory& diskInventory;
  platform::DeviceTree& deviceTree;
  platform::UserRegistry& userRegistry;
  platform::VolumeInfo& volumeInfo;
  platform::OsVersion& osVersion;
};

/// The process's own services that the wizard branch needs besides the machine.
struct ProcessPorts {
  ToolServices& tools;
  platform::VolumeNaming& naming;
  platform::PowerRequests& power;
  platform::StandardOutput& output;
};

/// A front end as the wizard branch drives it: a toolkit's windows with the person or the
/// script in front of them.
class WizardFrontEnd {
 public:
  virtual ~WizardFrontEnd() = default;
  /// The toolkit's view ports.
  virtual ViewPorts& ui() = 0;
  /// Lets the toolkit's timers jump ahead whenever `idle` says everything is idle.
  virtual void EnableIdleJumps(std::function<bool()> idle) = 0;
  /// True while the person or the script waits for the screen.
  virtual bool UserIdle() = 0;
  /// Starts the front end's own work (reading the script) once the wizard can be shown.
  virtual void Start() = 0;
  /// Ends it once the wizard has closed; the toolkit reports to nobody afterwards.
  virtual void Stop() = 0;
  /// True when the front end failed (a script error).
  virtual bool Failed() = 0;
};

/// How the wizard branch runs.
struct WizardBranchOptions {
  Language language = Language::kEnglish;
  /// Timers jump ahead whenever the user and the worker are idle (scripted runs).
  bool jumpClock = false;
  /// Ends the process with the status at once, running no destructor, when the worker did not
  /// end in time: it still uses what the caller's scope owns. Must not return; unset, the
  /// process ends through std::_Exit.
  void (*endAtOnce)(int status) = nullptr;
};

/// The wizard branch of either program: wires the product's parts to the machine and the
/// front end, runs start-up's wizard branch (the sheet, its pages and the worker) and returns
/// the process's exit status: 0, or 2 when the front end failed.
int RunWizardBranch(RunContext& context, MachinePorts& machine, ProcessPorts& process,
                    WizardFrontEnd& frontEnd, const WizardBranchOptions& options);

}  // namespace kestrune
