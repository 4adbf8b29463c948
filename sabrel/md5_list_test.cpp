#include "sabrel/md5_list.h"

#include <gtest/gtest.h>

#include <string>

#include "sabrel/digest_text.h"
#include "sabrel/test_set.h"

namespace kestrune::sabrel {
namespace {

using testing::Utf16Le;
using testing::Utf16LeFromUtf8;

constexpr char kDigest[] = "0123456789abcdef0123456789ABCDEF";

Md5List Parse(std::string_view bytes) {
  return ParseMd5List(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

std::vector<std::string> Paths(const Md5List& list) {
  std::vector<std::string> paths;
  for (const ListEntry& entry : list.entries) paths.push_back(entry.pathText);
  return paths;
}

TEST(Md5ListTest, ReadsTheSplittersOutputFormat) {
  // Exactly what the list splitter writes: UTF-16LE, mark, "%s %s" and CR LF.
  const Md5List list = Parse(Utf16LeFromUtf8(std::string(kDigest) + " version.doc\r\n" + kDigest +
                                             " sources\\install.swm\r\n"));
  ASSERT_TRUE(list.problems.empty());
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[1].line, 2u);
  EXPECT_EQ(list.entries[1].pathText, "sources\\install.swm");
  EXPECT_EQ(list.entries[1].components, (std::vector<std::string>{"sources", "install.swm"}));
  EXPECT_EQ(list.entries[1].digestText, kDigest);
  EXPECT_EQ(DigestToHex(list.entries[1].digest), "0123456789abcdef0123456789abcdef");
}

TEST(Md5ListTest, SameEntriesFromEveryEncoding) {
  const std::string text = std::string(kDigest) + " a\\b.txt\n" + kDigest + " c.txt\n";
  const std::vector<std::string> expected = {"a\\b.txt", "c.txt"};
  std::string bigEndian = "\xFE\xFF";
  for (const char c : text) {
    bigEndian += '\0';
    bigEndian += c;
  }
  for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, Utf16LeFromUtf8(text),
                                   Utf16LeFromUtf8(text).substr(2), bigEndian}) {
    const Md5List list = Parse(bytes);
    EXPECT_TRUE(list.problems.empty());
    EXPECT_EQ(Paths(list), expected);
  }
}

TEST(Md5ListTest, NonAsciiPathsBecomeUtf8) {
  // U+00FC, U+65E5 and U+1F600 (a surrogate pair in UTF-16).
  const std::string path =
      "d\xC3\xBC"
      "r\\\xE6\x97\xA5\xF0\x9F\x98\x80.txt";
  for (const std::string& bytes : {Utf16LeFromUtf8(std::string(kDigest) + " " + path + "\r\n"),
                                   std::string(kDigest) + " " + path + "\n"}) {
    const Md5List list = Parse(bytes);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(list.entries[0].pathText, path);
  }
}

TEST(Md5ListTest, BlanksAroundLinesAndBlankLinesAreIgnored) {
  const Md5List list = Parse(std::string("\r\n  ") + kDigest + " a.txt \t \r\n\n" + kDigest +
                             "  b.txt\r\r\n   \n" + kDigest + "\tc.txt");
  EXPECT_TRUE(list.problems.empty());
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(list.entries[0].line, 2u);
}

TEST(Md5ListTest, EveryMalformedLineIsReportedWithItsNumber) {
  const Md5List list = Parse(std::string(kDigest) + " good.txt\n" +
                             "0123456789abcdef0123456789abcde bad1.txt\n" +   // 31 digits
                             "0123456789abcdef0123456789abcdeg bad2.txt\n" +  // not hex
                             kDigest + "\n" +                                 // no path
                             "no-digest-at-all\n" + kDigest + " ..\\outside.txt\n");
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"good.txt"}));
  ASSERT_EQ(list.problems.size(), 5u);
  EXPECT_EQ(list.problems[0].line, 2u);
  EXPECT_EQ(list.problems[0].text, "0123456789abcdef0123456789abcde bad1.txt");
  EXPECT_EQ(list.problems[2].reason, "no path after the digest");
  EXPECT_EQ(list.problems[4].line, 6u);
  EXPECT_NE(list.problems[4].reason.find(".."), std::string::npos);
}

TEST(Md5ListTest, TextThatDoesNotDecodeIsAProblemNotASkip) {
  // A lone high surrogate in UTF-16, an invalid byte in UTF-8, a truncated last code unit.
  const std::string badUtf16 = Utf16Le(u"0123456789abcdef0123456789abcdef a\xD800.txt\r\n");
  const std::string badUtf8 = std::string(kDigest) + " a\xFF.txt\n";
  const std::string truncated = Utf16LeFromUtf8(std::string(kDigest) + " a.txt") + "x";
  for (const std::string& bytes : {badUtf16, badUtf8, truncated}) {
    const Md5List list = Parse(bytes);
    EXPECT_TRUE(list.entries.empty());
    ASSERT_EQ(list.problems.size(), 1u);
    EXPECT_EQ(list.problems[0].line, 1u);
  }
  // An overlong encoding of '/' must not slip past the path rules as a separator.
  EXPECT_EQ(Parse(std::string(kDigest) + " a\xC0\xAF..\xC0\xAF"
                                         "b\n")
                .problems.size(),
            1u);
}

TEST(Md5ListTest, EmptyInputHasNoEntriesAndNoProblems) {
  for (const std::string& bytes :
       {std::string(), std::string("\xFF\xFE"), std::string("\r\n\r\n"), Utf16LeFromUtf8("\r\n")}) {
    const Md5List list = Parse(bytes);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_TRUE(list.problems.empty());
  }
}

TEST(Md5ListTest, LongBadLineIsShortenedInTheReport) {
  const Md5List list = Parse("zz " + std::string(5000, 'a') + "\n");
  ASSERT_EQ(list.problems.size(), 1u);
  EXPECT_LT(list.problems[0].text.size(), 300u);
}

}  // namespace
}  // namespace kestrune::sabrel
