#include "text/utf8.h"

#include <gtest/gtest.h>

#include <vector>

#include "text/ascii_case.h"

namespace kestrune::text {
namespace {

// Overlong, surrogate, beyond U+10FFFF, cut short, a stray continuation byte, not UTF-8 at all.
const std::vector<std::string> kInvalid = {"\xC0\x80", "\xED\xB0\x80", "\xF4\x90\x80\x80",
                                           "\xE3\x83", "x\x80y",       "\xFF"};

TEST(Utf8Test, ConvertsEveryPlane) {
  const std::string utf8 = "a\xC3\xA9\xE3\x83\x86\xF0\x9F\x98\x80";
  const std::u16string utf16 = u"a\u00e9\u30c6\U0001F600";
  EXPECT_EQ(Utf16FromUtf8(utf8, InvalidUtf8::kReplace), utf16);
  EXPECT_EQ(Utf8FromUtf16(utf16), utf8);
  const std::wstring wide = WideFromUtf8(utf8);
  EXPECT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 5u : 4u);
  EXPECT_EQ(Utf8FromWide(wide), utf8);
}

TEST(Utf8Test, EscapedBytesComeBackAsTheyWere) {
  std::string bytes;
  for (const std::string& sample : kInvalid) bytes += sample + "|";
  const std::u16string escaped = Utf16FromUtf8(bytes, InvalidUtf8::kEscape);
  EXPECT_EQ(escaped.find(u'\uFFFD'), std::u16string::npos);
  EXPECT_EQ(Utf8FromUtf16(escaped), bytes);
  EXPECT_EQ(
      Utf16FromUtf8(bytes, InvalidUtf8::kReplace),
      u"\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD|x\uFFFDy|\uFFFD|");
}

// Harlune's UTF-16 text and the wide text of the Linux boundaries escape the same bytes to
// the same code units, so a name means the same to both.
TEST(Utf8Test, SixteenBitAndWideTextAgreeOnInvalidBytes) {
  for (const std::string& bytes : kInvalid) {
    const std::u16string utf16 = Utf16FromUtf8(bytes, InvalidUtf8::kEscape);
    const std::wstring wide = WideFromUtf8(bytes);
    ASSERT_EQ(utf16.size(), wide.size()) << bytes;
    for (size_t i = 0; i < utf16.size(); ++i) {
      EXPECT_EQ(static_cast<uint32_t>(utf16[i]), static_cast<uint32_t>(wide[i])) << bytes;
    }
    EXPECT_EQ(Utf8FromWide(wide), bytes);
  }
}

TEST(Utf8Test, UnpairedSurrogatesThatEscapeNoByteBecomeReplacements) {
  EXPECT_EQ(Utf8FromUtf16(u"\xD800"
                          u"a\xDC00"),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromWide(std::wstring{wchar_t(0xD800)}), "\xEF\xBF\xBD");
}

TEST(AsciiCaseTest, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("/pass:", "/PASS:"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(L"Cmd.EXE", L"cmd.exe"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(u"usb", u"USB"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(L"\u00c9", L"\u00e9"));
  // '@' and '`' sit next to the letters; a sloppy fold would merge them with 'A' and 'a'.
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("[", "{"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("ab", "abc"));
  EXPECT_EQ(ToAsciiLower("FAT32 \xC3\x89"), "fat32 \xC3\x89");
}

}  // namespace
}  // namespace kestrune::text
