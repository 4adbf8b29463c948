#include "platform/win32/windows_support.h"

#include "platform/win32/win32_window_port.h"

namespace kestrune::platform::win32 {

bool Win32WindowPort::Post(WindowHandle window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
  return PostMessageW(reinterpret_cast<HWND>(window), code, static_cast<WPARAM>(wParam),
                      static_cast<LPARAM>(lParam)) != FALSE;
}

bool Win32WindowPort::IsWindow(WindowHandle window) {
  return ::IsWindow(reinterpret_cast<HWND>(window)) != FALSE;
}

}  // namespace kestrune::platform::win32
