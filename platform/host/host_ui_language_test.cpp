#include "platform/host/host_ui_language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace kestrune::platform::host {
namespace {

bool JapaneseWith(const std::map<std::string, std::string>& environment) {
  HostUiLanguage language([&](const char* name) -> const char* {
    const auto it = environment.find(name);
    return it == environment.end() ? nullptr : it->second.c_str();
  });
  return language.PrefersJapanese();
}

TEST(HostUiLanguageTest, FirstSetVariableDecidesInTheCLibrarysOrder) {
  EXPECT_TRUE(JapaneseWith({{"LANG", "ja_JP.UTF-8"}}));
  EXPECT_TRUE(JapaneseWith({{"LC_MESSAGES", "ja_JP.eucJP"}, {"LANG", "en_US.UTF-8"}}));
  EXPECT_FALSE(JapaneseWith({{"LC_MESSAGES", "en_GB.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}));
  EXPECT_FALSE(JapaneseWith({{"LC_ALL", "C"}, {"LC_MESSAGES", "ja_JP"}, {"LANG", "ja_JP"}}));
  EXPECT_TRUE(JapaneseWith({{"LC_ALL", "ja"}, {"LC_MESSAGES", "en_US"}}));
}

TEST(HostUiLanguageTest, EmptyVariablesAreSkippedAndNothingSetIsEnglish) {
  EXPECT_TRUE(JapaneseWith({{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ja_JP.UTF-8"}}));
  EXPECT_FALSE(JapaneseWith({{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}));
  EXPECT_FALSE(JapaneseWith({}));
  EXPECT_FALSE(JapaneseWith({{"LANG", "C.UTF-8"}}));
  // Only the start counts: a Japanese codeset or modifier elsewhere does not make it Japanese.
  EXPECT_FALSE(JapaneseWith({{"LANG", "en_US.SJIS@ja"}}));
}

TEST(HostUiLanguageTest, DefaultReadsTheProcessEnvironment) {
  const char* saved = std::getenv("LC_ALL");
  const std::string restore = saved == nullptr ? "" : saved;
  ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
  EXPECT_TRUE(HostUiLanguage().PrefersJapanese());
  ::setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_FALSE(HostUiLanguage().PrefersJapanese());
  if (saved == nullptr) {
    ::unsetenv("LC_ALL");
  } else {
    ::setenv("LC_ALL", restore.c_str(), 1);
  }
}

}  // namespace
}  // namespace kestrune::platform::host
