#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "platform/mutex.h"
#include "platform/window_port.h"

namespace kestrune::platform::host {

/// A message posted to a window.
struct PostedMessage {
  uint32_t code = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  friend bool operator==(const PostedMessage&, const PostedMessage&) = default;
};

/// The host toolkit's windows: each has a handle and a queue of posted messages that the UI
/// thread's message loop takes in order. Any thread may post; a destroyed window's handle is
/// never reused, so a late post to it fails instead of reaching another window.
class WindowTable : public platform::WindowPort {
 public:
  WindowHandle Create();
  /// Removes the window and drops its queued messages.
  void Destroy(WindowHandle window);

  bool Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) override;
  bool IsWindow(WindowHandle window) override;

  /// Takes the oldest message of `window`, waiting up to `timeout` for one.
  std::optional<PostedMessage> Take(WindowHandle window, std::chrono::milliseconds timeout);
  /// Takes every queued message of `window`.
  std::vector<PostedMessage> TakeAll(WindowHandle window);

 private:
  platform::Mutex mutex_;
  platform::ConditionVariable posted_;
  uintptr_t nextId_ KESTRUNE_GUARDED_BY(mutex_) = 1;
  std::map<uintptr_t, std::deque<PostedMessage>> windows_ KESTRUNE_GUARDED_BY(mutex_);
};

}  // namespace kestrune::platform::host
