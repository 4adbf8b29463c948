#include "md5lists/list_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "md5lists/test_lists.h"

namespace kestrune::harlune {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;
using testing::U16;
using testing::Utf16Le;
using namespace std::literals;

TEST(DecodeListTextTest, ReadsUtf16LittleEndianWithOrWithoutItsMark) {
  const std::u16string text = u"d Media\\1\\\u30c6\U0001F600.txt\n";
  EXPECT_THAT(DecodeListText("\xFF\xFE" + Utf16Le(text)), Optional(text));
  EXPECT_THAT(DecodeListText(Utf16Le(text)), Optional(text));
  // A second mark is text; a last odd byte is not.
  EXPECT_THAT(DecodeListText("\xFF\xFE\xFF\xFE"
                             "a"),
              Optional(std::u16string(u"\uFEFF")));
  EXPECT_THAT(DecodeListText(""), Optional(std::u16string()));
}

TEST(DecodeListTextTest, ReadsUtf8AfterItsMark) {
  EXPECT_THAT(DecodeListText("\xEF\xBB\xBF"
                             "d Media\\1\\\xE3\x83\x86\xF0\x9F\x98\x80.txt\n"),
              Optional(std::u16string(u"d Media\\1\\\u30c6\U0001F600.txt\n")));
  // Bytes that are not UTF-8 (a lone continuation, an overlong form, a surrogate, a cut
  // sequence) read as U+FFFD, one per byte.
  EXPECT_THAT(DecodeListText("\xEF\xBB\xBF"
                             "a\x80"
                             "b\xC0\xAF"
                             "c\xED\xA0\x80"
                             "d\xE3\x83"),
              Optional(std::u16string(u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD\uFFFD")));
}

TEST(DecodeListTextTest, ABigEndianMarkCannotBeRead) {
  EXPECT_EQ(DecodeListText("\xFE\xFF\x00"
                           "a"),
            std::nullopt);
}

TEST(DecodeListTextTest, CrLfReadsAsLfAndOtherCrsStay) {
  EXPECT_THAT(DecodeListText(Utf16Le(u"a\r\nb\rc\r\r\nd\n\re\r")),
              Optional(std::u16string(u"a\nb\rc\r\nd\n\re\r")));
  EXPECT_THAT(DecodeListText("\xEF\xBB\xBF"
                             "a\r\nb\r"),
              Optional(std::u16string(u"a\nb\r")));
}

std::vector<std::u16string> Lines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  ListLines reader(text);
  std::u16string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  return lines;
}

TEST(ListLinesTest, GivesEveryLineWithItsLineFeed) {
  EXPECT_THAT(Lines(u"a\n\nb c\nlast"), ElementsAre(u"a\n", u"\n", u"b c\n", u"last"));
  EXPECT_THAT(Lines(u""), ElementsAre());
}

TEST(ListLinesTest, PassesOverLinesLongerThanTheLimitWhole) {
  const std::u16string atLimit = std::u16string(kMaxLineLength - 1, u'a') + u"\n";
  const std::u16string overLimit = std::u16string(kMaxLineLength, u'b') + u"\n";
  const std::u16string withTail = std::u16string(kMaxLineLength, u'c') + u"d Media\\1\\tail.txt\n";
  EXPECT_THAT(Lines(u"x\n" + atLimit + overLimit + withTail + u"y\n"),
              ElementsAre(u"x\n", atLimit, u"y\n"));
  // Without a line feed the limit is the same.
  EXPECT_THAT(Lines(std::u16string(kMaxLineLength, u'e')),
              ElementsAre(std::u16string(kMaxLineLength, u'e')));
  EXPECT_THAT(Lines(std::u16string(kMaxLineLength + 1, u'f')), ElementsAre());
}

TEST(ListLinesTest, CountsCodePointsAboveFfffAsTwo) {
  std::u16string pairs;
  for (size_t i = 0; i < (kMaxLineLength - 1) / 2; ++i) pairs += u"\U0001F600";
  const std::u16string fits = pairs + u"\n";  // 294 units and the line feed
  EXPECT_THAT(Lines(fits), ElementsAre(fits));
  EXPECT_THAT(Lines(u"a" + fits), ElementsAre());
}

TEST(ListLinesTest, PassesOverLinesHoldingNul) {
  EXPECT_THAT(Lines(u"a\n"
                    u"d Media\\1\\x\0y\n"
                    u"b\n"sv),
              ElementsAre(u"a\n", u"b\n"));
}

}  // namespace
}  // namespace kestrune::harlune
