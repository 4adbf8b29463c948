#pragma once

#include <cstdint>

namespace kestrune {

class CVantorThread;

/// The work inside the disc and USB jobs, in three groups that live with the code they belong
/// to: burning and USB writing in engine/, the checks in verify/. Each step runs on the worker
/// thread, may run child processes through `worker` (so the stop event can cancel them), may
/// post progress through `worker.PostReport`, and returns a result code (RESULT_OK,
/// RESULT_STOPPED or a failure).

/// The steps of a disc job that talk to the recorder: burning one image and ejecting the disc.
class DiscWritingSteps {
 public:
  virtual ~DiscWritingSteps() = default;
  /// Burns disc `disc` (1 to 9) from source entry disc - 1; a result code.
  [[nodiscard]] virtual uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) = 0;
  /// Ejects the disc from the bound recorder.
  virtual void EjectMedia(CVantorThread& worker) = 0;
};

/// The step of the USB job that wipes, partitions, formats and fills the drive.
class UsbWritingStep {
 public:
  virtual ~UsbWritingStep() = default;
  /// A result code; progress goes to the report window as STEP_USB_WRITE_PROGRESS.
  [[nodiscard]] virtual uint32_t WriteUsbDrive(CVantorThread& worker) = 0;
  /// Called when the USB job failed or was stopped: marks a stick that this job built so that
  /// it never looks like a recovery medium. True when a stick was marked.
  [[nodiscard]] virtual bool MarkIncomplete(CVantorThread& worker) = 0;
};

/// The checks after writing.
class VerificationSteps {
 public:
  virtual ~VerificationSteps() = default;
  /// Compares the written disc with a fresh unpacking of its image.
  [[nodiscard]] virtual uint32_t RunDiscCompare(CVantorThread& worker, uint32_t disc) = 0;
  /// Checks the USB drive against the recovery set's own MD5 list.
  [[nodiscard]] virtual uint32_t RunUsbMd5Check(CVantorThread& worker) = 0;
  /// Compares the USB drive with a fresh unpacking of the images.
  [[nodiscard]] virtual uint32_t RunUsbCompare(CVantorThread& worker) = 0;
};

}  // namespace kestrune
