#pragma once

#include <cstdint>

namespace kestrune {

struct WindowHandleTag;
/// A window as the platform names it (Windows: an HWND; Linux: an entry of the host toolkit's
/// window table).
using WindowHandle = WindowHandleTag*;

}  // namespace kestrune

namespace kestrune::platform {

/// The part of the window system that threads other than the UI thread may use: they never
/// touch a window object, they only post messages to it.
class WindowPort {
 public:
  virtual ~WindowPort() = default;

  /// Queues (code, wParam, lParam) for `window` and returns at once (Windows: PostMessageW).
  /// False when the message could not be queued, for example because the window is gone.
  [[nodiscard]] virtual bool Post(WindowHandle window, uint32_t code, uintptr_t wParam,
                                  intptr_t lParam) = 0;

  /// Whether `window` still names an existing window (Windows: IsWindow).
  [[nodiscard]] virtual bool IsWindow(WindowHandle window) = 0;
};

}  // namespace kestrune::platform
