#pragma once

#include <cstdint>

namespace kestrune {

class CVantorThread;

/// The work inside the disc and USB jobs. Each step runs on the worker thread, may run child
/// processes through `worker` (so the stop event can cancel them), may post progress through
/// `worker.PostReport`, and returns a result code (RESULT_OK, RESULT_STOPPED or a failure).
class JobSteps {
 public:
  virtual ~JobSteps() = default;

  /// Burns disc `disc` (1 to 9) from source entry disc - 1.
  [[nodiscard]] virtual uint32_t BurnDisc(CVantorThread& worker, uint32_t disc) = 0;
  /// Compares the written disc with a fresh unpacking of its image.
  [[nodiscard]] virtual uint32_t RunDiscCompare(CVantorThread& worker, uint32_t disc) = 0;
  /// Partitions, formats and fills the USB drive.
  [[nodiscard]] virtual uint32_t WriteUsbDrive(CVantorThread& worker) = 0;
  /// Checks the USB drive against the recovery set's MD5 lists.
  [[nodiscard]] virtual uint32_t RunUsbMd5Check(CVantorThread& worker) = 0;
  /// Compares the USB drive with a fresh unpacking of the images.
  [[nodiscard]] virtual uint32_t RunUsbCompare(CVantorThread& worker) = 0;
  /// Removes the comparison folder.
  virtual void CleanWorkFolder(CVantorThread& worker) = 0;
  /// Ejects the disc from the bound recorder.
  virtual void EjectMedia(CVantorThread& worker) = 0;
};

}  // namespace kestrune
