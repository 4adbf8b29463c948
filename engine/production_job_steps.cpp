#include "engine/production_job_steps.h"

#include "engine/vantor_thread.h"

namespace kestrune {

uint32_t ProductionJobSteps::BurnDisc(CVantorThread& worker, uint32_t disc) {
  return discs_.BurnDisc(worker, disc);
}

uint32_t ProductionJobSteps::RunDiscCompare(CVantorThread& worker, uint32_t disc) {
  return checks_.RunDiscCompare(worker, disc);
}

uint32_t ProductionJobSteps::WriteUsbDrive(CVantorThread& worker) {
  return usb_.WriteUsbDrive(worker);
}

uint32_t ProductionJobSteps::RunUsbMd5Check(CVantorThread& worker) {
  return checks_.RunUsbMd5Check(worker);
}

uint32_t ProductionJobSteps::RunUsbCompare(CVantorThread& worker) {
  return checks_.RunUsbCompare(worker);
}

void ProductionJobSteps::CleanWorkFolder(CVantorThread& worker) { worker.CleanWorkFolder(); }

void ProductionJobSteps::EjectMedia(CVantorThread& worker) { discs_.EjectMedia(worker); }

}  // namespace kestrune
