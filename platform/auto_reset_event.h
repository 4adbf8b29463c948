#pragma once

#include <chrono>

#include "platform/mutex.h"

namespace kestrune::platform {

/// An event that resets itself: a wait that sees it set also clears it, so one Set() releases
/// exactly one waiter (or the next wait, if nobody waits yet). Portable; used on every
/// platform for the wizard's stop signal.
class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set();
  void Reset();

  /// Waits up to `timeout` for the event. True when it was set; the event is then clear again.
  [[nodiscard]] bool Wait(std::chrono::milliseconds timeout);

  /// Wait(0): consumes the signal if it is there, without blocking.
  [[nodiscard]] bool TryConsume() { return Wait(std::chrono::milliseconds(0)); }

  /// Whether the event is set, leaving it as it is: for a look that must not take the signal
  /// from the wait that is meant to see it.
  [[nodiscard]] bool IsSet();

 private:
  Mutex mutex_;
  ConditionVariable signalled_;
  bool set_ KESTRUNE_GUARDED_BY(mutex_) = false;
};

}  // namespace kestrune::platform
