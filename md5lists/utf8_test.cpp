#include "md5lists/utf8.h"

#include <gtest/gtest.h>

namespace kestrune::harlune {
namespace {

TEST(Utf8Test, ConvertsEveryPlane) {
  const std::string utf8 = "a\xC3\xA9\xE3\x83\x86\xF0\x9F\x98\x80";
  const std::u16string utf16 = u"a\u00e9\u30c6\U0001F600";
  EXPECT_EQ(Utf16FromUtf8(utf8, InvalidUtf8::kReplace), utf16);
  EXPECT_EQ(Utf8FromUtf16(utf16), utf8);
}

TEST(Utf8Test, EscapedBytesComeBackAsTheyWere) {
  // Overlong, surrogate, beyond U+10FFFF, cut short, a stray continuation byte.
  const std::string bytes = "\xC0\x80|\xED\xB0\x80|\xF4\x90\x80\x80|\xE3\x83|\x80";
  const std::u16string escaped = Utf16FromUtf8(bytes, InvalidUtf8::kEscape);
  EXPECT_EQ(escaped.find(u'\uFFFD'), std::u16string::npos);
  EXPECT_EQ(Utf8FromUtf16(escaped), bytes);
  EXPECT_EQ(Utf16FromUtf8(bytes, InvalidUtf8::kReplace),
            u"\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD");
}

TEST(Utf8Test, UnpairedSurrogatesThatEscapeNoByteBecomeReplacements) {
  EXPECT_EQ(Utf8FromUtf16(u"\xD800"
                          u"a\xDC00"),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestrune::harlune
