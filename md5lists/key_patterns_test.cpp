#include "md5lists/key_patterns.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <regex>

namespace kestrune::harlune {
namespace {

using ::testing::Optional;

// The patterns as the standard library's ECMAScript engine reads them. The text is given to
// it one UTF-16 code unit per wchar_t, as a 16-bit wchar_t platform would.
std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::optional<std::u16string> RegexPathField(std::u16string_view field) {
  static const std::wregex pattern(L"Media.\\d\\\\([^\\n]+)\\n", std::regex::ECMAScript);
  std::wsmatch match;
  const std::wstring wide = Wide(field);
  if (!std::regex_match(wide, match, pattern)) return std::nullopt;
  const std::wstring key = match[1].str();
  return std::u16string(key.begin(), key.end());
}

std::optional<int> RegexIndexKey(std::u16string_view key, IndexKind kind) {
  static const std::wregex install(L"media\\\\(\\d)_(\\d)_install.txt");
  static const std::wregex data(L"media\\\\(\\d)_(\\d)_data.txt");
  static const std::wregex plain(L"media\\\\(\\d)_(\\d).txt");
  const std::wregex& pattern = kind == IndexKind::kInstall ? install
                               : kind == IndexKind::kData  ? data
                                                           : plain;
  std::wsmatch match;
  const std::wstring wide = Wide(key);
  if (!std::regex_match(wide, match, pattern)) return std::nullopt;
  return std::stoi(match[1].str());
}

TEST(MatchPathFieldTest, TakesThePathAfterTheMediaFolderUpToTheLineFeed) {
  EXPECT_THAT(MatchPathField(u"Media\\1\\sources\\install.swm\n"),
              Optional(std::u16string_view(u"sources\\install.swm")));
  EXPECT_THAT(MatchPathField(u"Media_0\\version.doc\n"),
              Optional(std::u16string_view(u"version.doc")));
  // Anything but LF belongs to the path, a CR and a backslash included.
  EXPECT_THAT(MatchPathField(u"Media19\\a\r\\\n"), Optional(std::u16string_view(u"a\r\\")));
}

TEST(MatchPathFieldTest, RejectsEveryOtherField) {
  for (const std::u16string_view field :
       {u"Media\\1\\version.doc", u"media\\1\\version.doc\n", u"MEDIA\\1\\version.doc\n",
        u"Media\\1\\\n", u"Media\\version.doc\n", u"Media1x\\a\n", u"Media\n1\\a\n",
        u"Media\r1\\a\n", u"Media\u20281\\a\n", u"Media\u20291\\a\n", u"Media\\1\\a\n\n",
        u"Media\\1\\a\nb\n", u"Media\\1/a\n", u"Media_\uFF11\\a\n", u" Media\\1\\a\n", u""}) {
    EXPECT_EQ(MatchPathField(field), std::nullopt) << std::string(field.begin(), field.end());
  }
}

TEST(StartsWithMediumFolderTest, NeedsMediaAUnitADigitAndABackslash) {
  for (const std::u16string_view field :
       {u"Media\\1\\", u"Media01\\boot\\bcd\n", u"Media_0\\version.doc", u"Media19\\"}) {
    EXPECT_TRUE(StartsWithMediumFolder(field)) << std::string(field.begin(), field.end());
  }
  for (const std::u16string_view field :
       {u"Meida01\\boot\\bcd\n", u"Media1\\boot\n", u"media01\\a\n", u"Media\n1\\a\n",
        u"Media01/a\n", u"Media01", u"\n", u""}) {
    EXPECT_FALSE(StartsWithMediumFolder(field)) << std::string(field.begin(), field.end());
  }
}

TEST(MatchIndexKeyTest, ReadsThePartCountOfEachKind) {
  EXPECT_THAT(MatchIndexKey(u"media\\3_1_install.txt", IndexKind::kInstall), Optional(3));
  EXPECT_THAT(MatchIndexKey(u"media\\2_7_data.txt", IndexKind::kData), Optional(2));
  EXPECT_THAT(MatchIndexKey(u"media\\0_1.txt", IndexKind::kPlain), Optional(0));
  // The dot of the patterns is the regular expression's "any character".
  EXPECT_THAT(MatchIndexKey(u"media\\9_9_data_txt", IndexKind::kData), Optional(9));
  EXPECT_EQ(MatchIndexKey(u"media\\3_1_install.txt", IndexKind::kPlain), std::nullopt);
  EXPECT_EQ(MatchIndexKey(u"media\\3_1.txt", IndexKind::kInstall), std::nullopt);
  EXPECT_EQ(MatchIndexKey(u"Media\\3_1.txt", IndexKind::kPlain), std::nullopt);
  EXPECT_EQ(MatchIndexKey(u"media\\10_1.txt", IndexKind::kPlain), std::nullopt);
  EXPECT_EQ(MatchIndexKey(u"media\\3_1\n.txt", IndexKind::kPlain), std::nullopt);
}

// Random texts built from the pieces that matter to the patterns, so that near misses are
// common, all checked against the standard library's regular expressions.
class PatternCrossCheck : public ::testing::Test {
 protected:
  std::u16string RandomText(size_t pieces) {
    static const std::u16string_view kPieces[] = {
        u"Media",     u"media",      u"\\",         u"1",         u"0",          u"9",
        u"_",         u".",          u"txt",        u"_install",  u"_data",      u"\n",
        u"\r",        u"\u2028",     u"\u2029",     u"x",         u" ",          u"M",
        u"\uFF11",    u"\U0001F600", u"Media\\1\\", u"Media_2\\", u"media\\3_1", u"_install.txt",
        u"_data.txt", u".txt",       u"_data\rtxt"};
    std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
    std::u16string text;
    for (size_t i = 0; i < pieces; ++i) text += kPieces[pick(random_)];
    return text;
  }

  std::mt19937 random_{20240611};
};

TEST_F(PatternCrossCheck, PathFieldAgreesWithStdRegex) {
  int matches = 0;
  for (int i = 0; i < 40000; ++i) {
    std::u16string field = RandomText(i % 9);
    if (i % 2 == 0) field = u"Media" + field;
    if (i % 3 == 0) field += u"\n";
    const auto expected = RegexPathField(field);
    const auto actual = MatchPathField(field);
    ASSERT_EQ(actual.has_value(), expected.has_value()) << i;
    if (expected) {
      ASSERT_EQ(std::u16string(*actual), *expected) << i;
      ++matches;
    }
  }
  EXPECT_GT(matches, 100);  // the generator reaches the matching side too
}

TEST_F(PatternCrossCheck, IndexKeysAgreeWithStdRegex) {
  int matches = 0;
  for (int i = 0; i < 40000; ++i) {
    std::u16string key = RandomText(i % 4);
    if (i % 2 == 0) {
      key = u"media\\" + std::u16string(1, u'0' + i % 10) + u"_" + std::u16string(1, u'0' + i % 7) +
            key;
    }
    for (const IndexKind kind : {IndexKind::kInstall, IndexKind::kData, IndexKind::kPlain}) {
      const auto expected = RegexIndexKey(key, kind);
      ASSERT_EQ(MatchIndexKey(key, kind), expected) << i;
      matches += expected.has_value();
    }
  }
  EXPECT_GT(matches, 20);
}

}  // namespace
}  // namespace kestrune::harlune
