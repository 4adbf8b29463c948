#pragma once

#include <cstdint>

#include "engine/job_steps.h"
#include "platform/device_tree.h"
#include "platform/disk_inventory.h"
#include "platform/volume_info.h"

namespace kestrune {

/// The first step of the USB job: wipes the disk behind the chosen drive letter, gives it one
/// active FAT32 partition of the size the recovery set needs under the same letter, and
/// unpacks every image onto it with 7-Zip, reporting progress by the space used on the drive.
///
/// Construct it once with the ports of the machine (the same objects the Drive page uses) and
/// hand it to the worker (WorkerServices::usb); it keeps no state between runs. Everything else
/// comes from the worker: the run context (target letter, required MB, label, sources), the tool
/// services and the stop event. Safety rules beyond the bare sequence: no disk is wiped unless the
/// inventory, read again just before each wipe, shows it as a USB disk of an accepted media type
/// that is not built into the computer, large enough, holding the target letter and neither the
/// system drive nor the recovery set; a volume spanning disks, images outside the work folder and
/// values that cannot go into a script end the step before anything is written.
class UsbWriteStep final : public UsbWritingStep {
 public:
  UsbWriteStep(platform::VolumeInfo& volumes, platform::DiskInventory& inventory,
               platform::DeviceTree& devices)
      : volumes_(volumes), inventory_(inventory), devices_(devices) {}

  /// RESULT_OK, or RESULT_STEP_FAILED for every failure, a refused target and a stop.
  uint32_t WriteUsbDrive(CVantorThread& worker) override;

 private:
  platform::VolumeInfo& volumes_;
  platform::DiskInventory& inventory_;
  platform::DeviceTree& devices_;
};

}  // namespace kestrune
