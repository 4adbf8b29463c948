#pragma once

#include <cstdint>

#include <atomic>
#include <optional>
#include <string>

#include "engine/job_steps.h"
#include "platform/device_tree.h"
#include "platform/disk_inventory.h"
#include "platform/volume_info.h"

namespace kestrune {

/// The first step of the USB job: wipes the disk behind the drive letter that the user
/// confirmed, gives it one active FAT32 partition of the size the recovery set needs under the
/// same letter, and unpacks every image onto it with 7-Zip, reporting progress by the space
/// used on the drive.
///
/// Construct it once with the ports of the machine (the same objects the Drive page uses) and
/// hand it to the worker (WorkerServices::usb). Everything else comes from the worker: the run
/// context (target letter and disk, required MB, label, sources), the tool services and the
/// stop event. Nothing is wiped before every check that can be made has passed, in this order:
///
///  1. Pre-flight: 7-Zip (written into the run's work area) answers; every image opens as an
///     archive (its listing, which costs seconds); no file of the set is 4 GiB or larger;
///     the set fits the FAT32 partition the build makes; with the comparison on, the
///     computer's disk has room for the comparison's unpacking.
///  2. The look-up's disk (the marked line of diskpart's answer, in any language) is the disk
///     the user confirmed (RunContext::usbTarget), and the inventory, read afresh, shows that
///     very device at that number, holding the letter, of the size and with the partitions the
///     Drive page saw; it is a USB disk of an accepted media type, not built into the computer,
///     large enough, neither the system drive nor the recovery set's. A volume spanning disks,
///     images outside the work folder and values that cannot go into a script end the step.
///  3. No stop was asked for (the stop event, left set for the wait meant to see it, and the
///     user's choice to leave). The wipe selects the volume by its letter, so it cleans the
///     disk that holds it, whatever its number has become.
///  4. Before the build: the same device at the same number, and still no stop.
///  5. Before each image: still no stop, and the letter is still the built stick's.
class UsbWriteStep final : public UsbWritingStep {
 public:
  /// `exitRequested` is ImapiContext::exitRequested: the user (or an error) has decided to end
  /// the wizard while jobs may still run.
  UsbWriteStep(platform::VolumeInfo& volumes, platform::DiskInventory& inventory,
               platform::DeviceTree& devices, const std::atomic<uint32_t>& exitRequested)
      : volumes_(volumes),
        inventory_(inventory),
        devices_(devices),
        exitRequested_(exitRequested) {}

  /// RESULT_OK; RESULT_STOPPED for a stop before the wipe, the build, an image or while 7-Zip
  /// unpacks; one of the USB job's pre-flight results (the stick untouched,
  /// RunContext::problem says what); or RESULT_STEP_FAILED for every other failure, a
  /// refused target, and a letter that is no longer the built stick's before an image.
  uint32_t WriteUsbDrive(CVantorThread& worker) override;
  /// After a failed job: leaves the stick this job built with no active partition and the
  /// label "INCOMPLETE", so it never looks like a recovery medium. True only when both took:
  /// false when this job built no stick (nothing was changed, or the disk was only wiped), the
  /// stick is gone, or it could not be marked (no partition, no letter of its own; a letter
  /// held by another device is never labelled).
  bool MarkIncomplete(CVantorThread& worker) override;

 private:
  /// The stick this job built: its disk, device and letter.
  struct Built {
    uint32_t disk = 0;
    std::wstring pnpDeviceId;
    wchar_t letter = 0;
  };

  platform::VolumeInfo& volumes_;
  platform::DiskInventory& inventory_;
  platform::DeviceTree& devices_;
  const std::atomic<uint32_t>& exitRequested_;
  /// Worker thread only: set once the build script has run, until the next job.
  std::optional<Built> built_;
};

}  // namespace kestrune
