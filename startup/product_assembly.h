#pragma once

#include <memory>

#include "platform/power_requests.h"
#include "platform/standard_output.h"
#include "platform/window_port.h"
#include "startup/wizard_startup.h"
#include "wizard/device_functions.h"

namespace kestrune {

class CEventDataWriter;

/// The ports the product's parts of the wizard need besides the device services.
struct ProductServices {
  DeviceServices devices;
  /// Carries the write-progress sink's and the checks' posts to the sheet and the Write page.
  platform::WindowPort& post;
  /// Keeps the computer awake during a burn and a disc comparison.
  platform::PowerRequests& power;
  /// Receives the comparison's line about a file it cannot open.
  platform::StandardOutput& output;
};

/// The product's parts of the wizard on any platform: the pages' device questions answered by
/// devices/, the write-progress sink, and the worker's steps joined from disc burning, USB
/// writing and the checks after writing. The platform only supplies the ports.
///
/// Start-up asks for the sink before the steps; the burn of the steps made last uses the sink
/// made last, so both must come from the same run (WizardStartup makes them together).
class ProductAssembly final : public WizardAssembly {
 public:
  explicit ProductAssembly(ProductServices& services) : services_(services) {}

  std::unique_ptr<WizardDevices> MakeDevices(ImapiContext& imapi,
                                             const RunContext& context) override;
  /// Null when no sink was made for this run (start-up has then shown 457 and never asks).
  std::unique_ptr<RunSteps> MakeJobSteps(ImapiContext& imapi, RunContext& context) override;
  std::unique_ptr<platform::DataWriteEvents> MakeWriteEvents(ImapiContext& imapi,
                                                             RunContext& context) override;

 private:
  ProductServices& services_;
  /// The sink of the current run; owned by start-up's parts of the run.
  CEventDataWriter* sink_ = nullptr;
};

}  // namespace kestrune
