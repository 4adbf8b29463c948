#include "platform/auto_reset_event.h"

namespace kestrune::platform {

void AutoResetEvent::Set() {
  {
    MutexLock lock(mutex_);
    set_ = true;
  }
  signalled_.NotifyOne();
}

void AutoResetEvent::Reset() {
  MutexLock lock(mutex_);
  set_ = false;
}

bool AutoResetEvent::IsSet() {
  MutexLock lock(mutex_);
  return set_;
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(mutex_);
  while (!set_) {
    if (!signalled_.WaitUntil(lock, deadline)) break;
  }
  if (!set_) return false;
  set_ = false;
  return true;
}

}  // namespace kestrune::platform
