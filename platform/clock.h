#pragma once

#include <cstdint>

namespace kestrune::platform {

/// Time as the core needs it; a port so that tests can record pauses instead of waiting.
class Clock {
 public:
  virtual ~Clock() = default;

  /// Blocks the calling thread for `milliseconds`.
  virtual void Pause(uint32_t milliseconds) = 0;
};

}  // namespace kestrune::platform
