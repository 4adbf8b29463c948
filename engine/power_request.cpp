#include "engine/power_request.h"

namespace kestrune {

using Type = platform::PowerRequests::Type;

ScopedPowerRequest::ScopedPowerRequest(platform::PowerRequests& power) : power_(power) {
  request_ = power_.Create(kPowerRequestReason);
  if (request_ == 0) return;
  systemSet_ = power_.Set(request_, Type::kSystemRequired);
  displaySet_ = power_.Set(request_, Type::kDisplayRequired);
}

ScopedPowerRequest::~ScopedPowerRequest() {
  if (request_ == 0) return;
  if (systemSet_) ClearWithOneRetry(Type::kSystemRequired);
  if (displaySet_) ClearWithOneRetry(Type::kDisplayRequired);
  power_.Close(request_);
}

void ScopedPowerRequest::ClearWithOneRetry(Type type) {
  // A request that cannot be cleared is closed next, which ends it as well.
  if (!power_.Clear(request_, type)) static_cast<void>(power_.Clear(request_, type));
}

}  // namespace kestrune
