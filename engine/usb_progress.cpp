#include "engine/usb_progress.h"

namespace kestrune::usb {

std::optional<uint32_t> ProgressGauge::Next(const platform::VolumeSpace& space) {
  if (totalBytes_ == 0) return std::nullopt;
  const uint64_t used =
      space.totalBytes > space.freeBytesToCaller ? space.totalBytes - space.freeBytesToCaller : 0;
  constexpr uint32_t kCeiling = 990;
  uint64_t perMille = kCeiling;
  if (used < totalBytes_) {
    // used * 1000 must fit 64 bits; halving both keeps the ratio.
    uint64_t part = used, whole = totalBytes_;
    while (whole > UINT64_MAX / 1000) part >>= 1, whole >>= 1;
    perMille = part * 1000 / whole;
  }
  const auto value = static_cast<uint32_t>(perMille > kCeiling ? kCeiling : perMille);
  if (value <= lastPosted_) return std::nullopt;
  lastPosted_ = value;
  return value;
}

}  // namespace kestrune::usb
