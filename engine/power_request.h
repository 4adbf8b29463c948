#pragma once

#include "platform/power_requests.h"

namespace kestrune {

/// The reason every power request of this program carries.
inline constexpr wchar_t kPowerRequestReason[] = L"Kestrune is running.";

/// Keeps the computer and its display awake for its lifetime: creates a request and sets
/// "system required" and "display required"; on destruction, whatever way the scope is left,
/// clears each type that was set (once more if clearing fails) and closes the request. A
/// request the system refuses is simply not held: the work runs without it.
class ScopedPowerRequest {
 public:
  explicit ScopedPowerRequest(platform::PowerRequests& power);
  ~ScopedPowerRequest();
  ScopedPowerRequest(const ScopedPowerRequest&) = delete;
  ScopedPowerRequest& operator=(const ScopedPowerRequest&) = delete;

 private:
  void ClearWithOneRetry(platform::PowerRequests::Type type);

  platform::PowerRequests& power_;
  platform::PowerRequests::RequestId request_ = 0;
  bool systemSet_ = false;
  bool displaySet_ = false;
};

}  // namespace kestrune
