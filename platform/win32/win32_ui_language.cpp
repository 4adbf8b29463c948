#include "platform/win32/windows_support.h"

#include "platform/win32/win32_ui_language.h"

namespace kestrune::platform::win32 {

bool Win32UiLanguage::PrefersJapanese() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

}  // namespace kestrune::platform::win32
