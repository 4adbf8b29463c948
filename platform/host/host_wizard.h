#pragma once

#include <memory>

#include "app/tool_services.h"
#include "app/vantor_app.h"

namespace kestrune::platform::host {

/// The wizard branch of the Linux program: opens the simulated machine (only in the wizard
/// mode), picks the front end from KESTRUNE_UI, and runs the wizard on them with the real
/// device, writing and verification code.
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
  explicit HostWizardBranch(ToolServices& tools);
  ~HostWizardBranch() override;

  void Run(RunContext& context) override;

  /// The process's exit status after Run: 0, or 2 after a script error (or when no front end
  /// could be started).
  int ExitStatus() const { return exitStatus_; }
  /// True when a worker still runs: the process must end without running destructors.
  bool MustEndAtOnce() const { return mustEndAtOnce_; }

 private:
  ToolServices& tools_;
  int exitStatus_ = 0;
  bool mustEndAtOnce_ = false;
};

}  // namespace kestrune::platform::host
