#include "platform/host/host_ui_language.h"

#include <cstdlib>
#include <string_view>
#include <utility>

namespace kestrune::platform::host {

bool MessageLocaleIsJapanese(const EnvironmentLookup& lookup) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = lookup(name);
    if (value == nullptr || *value == '\0') continue;
    return std::string_view(value).starts_with("ja");
  }
  return false;
}

HostUiLanguage::HostUiLanguage()
    : lookup_([](const char* name) -> const char* { return std::getenv(name); }) {}

HostUiLanguage::HostUiLanguage(EnvironmentLookup lookup) : lookup_(std::move(lookup)) {}

bool HostUiLanguage::PrefersJapanese() { return MessageLocaleIsJapanese(lookup_); }

}  // namespace kestrune::platform::host
