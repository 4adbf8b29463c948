#pragma once

#include "platform/ui_language.h"

namespace kestrune::platform::win32 {

/// The user's UI language (GetUserDefaultUILanguage), not the regional format: a user who
/// reads English menus gets English texts whatever the region.
class Win32UiLanguage : public UiLanguage {
 public:
  [[nodiscard]] bool PrefersJapanese() override;
};

}  // namespace kestrune::platform::win32
