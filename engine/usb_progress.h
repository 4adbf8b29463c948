#pragma once

#include <cstdint>
#include <optional>

#include "platform/volume_info.h"

namespace kestrune::usb {

/// Unpacking progress measured by the space used on the drive, in per mille of the bytes of
/// all images. Values only rise, and stop at 990: the job's end reports 1000.
class ProgressGauge {
 public:
  explicit ProgressGauge(uint64_t totalBytes) : totalBytes_(totalBytes) {}

  /// The value to report for `space`, or nothing when it does not rise above the last one.
  std::optional<uint32_t> Next(const platform::VolumeSpace& space);

 private:
  uint64_t totalBytes_;
  uint32_t lastPosted_ = 0;
};

}  // namespace kestrune::usb
