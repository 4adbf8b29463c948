#pragma once

#include <memory>

#include "engine/job_steps.h"
#include "platform/disc_service.h"
#include "platform/power_requests.h"
#include "platform/standard_output.h"
#include "platform/user_registry.h"
#include "startup/vantor_app.h"
#include "wizard/strings.h"
#include "wizard/view_ports.h"
#include "wizard/wizard_context.h"

namespace kestrune {

class RunReport;

/// The worker's three groups of steps for one run, and their owner.
class RunSteps {
 public:
  virtual ~RunSteps() = default;
  virtual DiscWritingSteps& discs() = 0;
  virtual UsbWritingStep& usb() = 0;
  virtual VerificationSteps& checks() = 0;
};

/// The parts of the product that the wizard branch makes for each run, because they work on
/// the run's own records: the device questions of the pages, the worker's job steps and the
/// disc service's write-progress receiver (the burn's event sink).
class WizardAssembly {
 public:
  virtual ~WizardAssembly() = default;
  virtual std::unique_ptr<WizardDevices> MakeDevices(ImapiContext& imapi,
                                                     const RunContext& context) = 0;
  /// Null when the steps cannot be made (start-up then shows message 457).
  virtual std::unique_ptr<RunSteps> MakeJobSteps(ImapiContext& imapi, RunContext& context) = 0;
  /// Null when the receiver cannot be made (start-up then shows message 457).
  virtual std::unique_ptr<platform::DataWriteEvents> MakeWriteEvents(ImapiContext& imapi,
                                                                     RunContext& context) = 0;
};

/// The platform services of the wizard branch.
struct WizardStartupServices {
  ViewPorts& ui;
  platform::DiscService& discService;
  ToolServices& tools;
  platform::PowerRequests& power;
  platform::UserRegistry& users;
  platform::StandardOutput& output;
  Language language = Language::kEnglish;
};

/// The wizard branch of start-up: creates the disc-service objects (message 457 when that
/// fails), builds the sheet (which starts the worker and surveys the sources) and its four
/// pages, shows the wizard, stops and awaits the worker, releases the disc-service objects
/// and prints the state word when the wizard was shown, however it ended.
///
/// A worker that does not end within the wait is abandoned together with everything it uses
/// (the disc-service objects, its steps, the stop event); the caller must then end the
/// process without running destructors (WorkerAbandoned()).
class WizardStartup : public WizardBranch {
 public:
  WizardStartup(WizardStartupServices& services, WizardAssembly& assembly);
  ~WizardStartup() override;

  void Run(RunContext& context) override;

  /// True when the last run left a worker running.
  bool WorkerAbandoned() const { return workerAbandoned_; }
  /// The sheet's result of the last run (wizard_exit; kAborted when it was never shown).
  intptr_t LastResult() const { return lastResult_; }
  /// True when the last run showed the wizard.
  bool LastRunShown() const { return lastShown_; }

 private:
  struct RunParts;

  /// Leaves the run's verification report in the image folder (app/report_files.h); false when
  /// it could not.
  bool WriteReport(const RunContext& context, const RunReport& report);

  WizardStartupServices& services_;
  WizardAssembly& assembly_;
  std::unique_ptr<RunParts> parts_;
  bool workerAbandoned_ = false;
  intptr_t lastResult_ = 0;
  bool lastShown_ = false;
};

}  // namespace kestrune
