#pragma once

#include <functional>

#include "platform/ui_language.h"

namespace kestrune::platform::host {

/// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

/// The message locale as the C library would choose it: the first of LC_ALL, LC_MESSAGES
/// and LANG that is set and not empty decides, and it is Japanese when it starts with "ja"
/// ("ja_JP.UTF-8", "ja"). Nothing set means the C locale, which is English.
[[nodiscard]] bool MessageLocaleIsJapanese(const EnvironmentLookup& lookup);

class HostUiLanguage : public UiLanguage {
 public:
  /// Reads the process environment.
  HostUiLanguage();
  explicit HostUiLanguage(EnvironmentLookup lookup);

  [[nodiscard]] bool PrefersJapanese() override;

 private:
  EnvironmentLookup lookup_;
};

}  // namespace kestrune::platform::host
