#include "startup/product_assembly.h"

#include "engine/disc_burning.h"
#include "engine/event_data_writer.h"
#include "engine/usb_write_step.h"
#include "verify/verification_steps.h"

namespace kestrune {
namespace {

/// The product's three groups of steps for one run.
class ProductSteps final : public RunSteps {
 public:
  ProductSteps(ImapiContext& imapi, CEventDataWriter& sink, ProductServices& services)
      : discs_(imapi, sink, services.power),
        usb_(services.devices.volumes, services.devices.inventory, services.devices.deviceTree,
             imapi.exitRequested),
        checks_(services.devices.volumes, services.post, services.power, services.output) {}

  DiscWritingSteps& discs() override { return discs_; }
  UsbWritingStep& usb() override { return usb_; }
  VerificationSteps& checks() override { return checks_; }

 private:
  DiscBurningSteps discs_;
  UsbWriteStep usb_;
  VerificationJobSteps checks_;
};

}  // namespace

std::unique_ptr<WizardDevices> ProductAssembly::MakeDevices(ImapiContext& imapi,
                                                            const RunContext& context) {
  return std::make_unique<DeviceFunctions>(imapi, context, services_.devices);
}

std::unique_ptr<RunSteps> ProductAssembly::MakeJobSteps(ImapiContext& imapi, RunContext&) {
  if (sink_ == nullptr) return nullptr;
  return std::make_unique<ProductSteps>(imapi, *sink_, services_);
}

std::unique_ptr<platform::DataWriteEvents> ProductAssembly::MakeWriteEvents(ImapiContext&,
                                                                            RunContext& context) {
  auto sink = std::make_unique<CEventDataWriter>(context, services_.post);
  sink_ = sink.get();
  return sink;
}

}  // namespace kestrune
