#include "md5lists/digest_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kestrune::harlune {
namespace {

using ::testing::ElementsAre;

std::vector<std::u16string> Keys(const DigestTable& table) {
  std::vector<std::u16string> keys;
  table.ForEach([&](const DigestEntry& entry) { keys.emplace_back(entry.key); });
  return keys;
}

TEST(DigestTableTest, KeepsInputOrderAndTheFirstDigestOfAKey) {
  DigestTable table;
  table.Insert(u"b", u"1");
  table.Insert(u"a", u"2");
  table.Insert(u"b", u"3");
  table.Insert(u"B", u"4");
  EXPECT_THAT(Keys(table), ElementsAre(u"b", u"a", u"B"));
  EXPECT_EQ(table.Find(u"b")->digest, u"1");

  EXPECT_TRUE(table.Remove(u"b"));
  EXPECT_FALSE(table.Remove(u"b"));
  EXPECT_EQ(table.Find(u"b"), nullptr);
  EXPECT_THAT(Keys(table), ElementsAre(u"a", u"B"));
  EXPECT_EQ(table.size(), 2u);
}

TEST(ReadDigestTableTest, SplitsEachLineAtEverySpace) {
  const DigestTable table = ReadDigestTable(
      u"d1 Media\\1\\a\n"
      u"d2 Media\\1\\b extra\n"  // the path ends at the next space, without its line feed
      u"d3  Media\\1\\c\n"       // two spaces: the second field is empty
      u"d4 Media\\1\\d \n"       // a trailing space takes the line feed into a third field
      u"d5\tMedia\\1\\e\n"       // only U+0020 separates
      u"d6 Media\\1\\f\n");
  EXPECT_THAT(Keys(table), ElementsAre(u"a", u"f"));
  EXPECT_EQ(table.Find(u"f")->digest, u"d6");
}

TEST(ReadDigestTableTest, NamesTheFirstLineWhosePathLostItsMediumFolder) {
  std::optional<std::u16string_view> damaged;
  const DigestTable table = ReadDigestTable(
      u"d1 Media\\1\\a\n"
      u"no-path-at-all\n"
      u"d2 Media\\1\\b extra\n"  // the medium folder is there: only the path is cut short
      u"d3 Meida01\\c\n"
      u"d4 Media1\\d\n"
      u"d5 Media\\1\\e",
      &damaged);
  EXPECT_THAT(Keys(table), ElementsAre(u"a"));
  EXPECT_EQ(damaged, std::u16string_view(u"d3 Meida01\\c"));

  damaged.reset();
  static_cast<void>(ReadDigestTable(u"d1 Media\\1\\a\n\nd2 Media\\1\\b\n", &damaged));
  EXPECT_EQ(damaged, std::nullopt) << "blank lines and good ones";
}

}  // namespace
}  // namespace kestrune::harlune
