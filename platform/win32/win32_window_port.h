#pragma once

#include "platform/window_port.h"

namespace kestrune::platform::win32 {

/// PostMessageW and IsWindow on HWNDs.
class Win32WindowPort : public WindowPort {
 public:
  bool Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) override;
  bool IsWindow(WindowHandle window) override;
};

}  // namespace kestrune::platform::win32
