#include "wizard/product_assembly.h"

#include "engine/disc_burning.h"
#include "engine/event_data_writer.h"
#include "engine/production_job_steps.h"
#include "engine/usb_write_step.h"
#include "verify/verification_steps.h"

namespace kestrune {
namespace {

/// The three groups of steps, owned together and joined for the worker.
class ProductJobSteps final : public JobSteps {
 public:
  ProductJobSteps(ImapiContext& imapi, CEventDataWriter& sink, ProductServices& services)
      : discs_(imapi, sink, services.power),
        usb_(services.devices.volumes, services.devices.inventory, services.devices.deviceTree),
        checks_(services.devices.volumes, services.post, services.power, services.output),
        steps_(discs_, usb_, checks_) {}

  uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) override {
    return steps_.BurnDisc(worker, disc);
  }
  uint32_t RunDiscCompare(CVantorThread& worker, uint32_t disc) override {
    return steps_.RunDiscCompare(worker, disc);
  }
  uint32_t WriteUsbDrive(CVantorThread& worker) override { return steps_.WriteUsbDrive(worker); }
  uint32_t RunUsbMd5Check(CVantorThread& worker) override { return steps_.RunUsbMd5Check(worker); }
  uint32_t RunUsbCompare(CVantorThread& worker) override { return steps_.RunUsbCompare(worker); }
  void CleanWorkFolder(CVantorThread& worker) override { steps_.CleanWorkFolder(worker); }
  void EjectMedia(CVantorThread& worker) override { steps_.EjectMedia(worker); }

 private:
  DiscBurningSteps discs_;
  UsbWriteStep usb_;
  VerificationJobSteps checks_;
  ProductionJobSteps steps_;
};

}  // namespace

std::unique_ptr<WizardDevices> ProductAssembly::MakeDevices(ImapiContext& imapi,
                                                            const RunContext& context) {
  return std::make_unique<DeviceFunctions>(imapi, context, services_.devices);
}

std::unique_ptr<JobSteps> ProductAssembly::MakeJobSteps(ImapiContext& imapi, RunContext&) {
  if (sink_ == nullptr) return nullptr;
  return std::make_unique<ProductJobSteps>(imapi, *sink_, services_);
}

std::unique_ptr<platform::DataWriteEvents> ProductAssembly::MakeWriteEvents(ImapiContext&,
                                                                            RunContext& context) {
  auto sink = std::make_unique<CEventDataWriter>(context, services_.post);
  sink_ = sink.get();
  return sink;
}

}  // namespace kestrune
