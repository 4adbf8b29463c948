#include "platform/host/utf8.h"

#include <gtest/gtest.h>

namespace kestrune::platform::host {
namespace {

TEST(Utf8Test, ConvertsEveryPlane) {
  const std::string text = "a\xC3\xA9\xE3\x83\x87\xF0\x9F\x98\x80";  // a é デ 😀
  const std::wstring wide = WideFromUtf8(text);
  EXPECT_EQ(wide, (std::wstring{L'a', wchar_t(0xE9), wchar_t(0x30C7), wchar_t(0x1F600)}));
  EXPECT_EQ(Utf8FromWide(wide), text);
}

TEST(Utf8Test, InvalidBytesSurviveTheRoundTrip) {
  for (const std::string bytes : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "x\x80y"}) {
    EXPECT_EQ(Utf8FromWide(WideFromUtf8(bytes)), bytes);
  }
}

TEST(Utf8Test, UnpairedSurrogateInWideTextBecomesReplacement) {
  EXPECT_EQ(Utf8FromWide(std::wstring{wchar_t(0xD800)}), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestrune::platform::host
