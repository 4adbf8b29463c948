#include "md5lists/md5_list_split.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "md5lists/list_text.h"
#include "md5lists/test_lists.h"
#include "text/utf8.h"

namespace kestrune::harlune {
namespace {

using testing::DiscLines;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::RecoveryList;
using testing::U16;
using Lines = std::vector<std::string>;

SplitOutcome Split(const Lines& lines, int partsPerDisc) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return SplitMd5List(U16(text), partsPerDisc);
}

// The lines of every output list, checked for form on the way.
std::vector<Lines> Discs(const SplitOutcome& outcome) {
  EXPECT_EQ(outcome.exitCode, 0) << text::Utf8FromUtf16(outcome.errors);
  std::vector<Lines> discs;
  for (const std::string& file : outcome.discFiles) discs.push_back(DiscLines(file));
  return discs;
}

const Lines kOthers = {"aa01 boot\\bcd", "aa02 recovery\\oem\\notes.txt"};
const std::string kVersion = "aa00 version.doc";
const Lines kData1 = {"id1 sources\\data.swm", "xd1 media\\2_1_data.txt"};
const Lines kData2 = {"id2 sources\\data2.swm", "xd2 media\\2_2_data.txt"};
const Lines kInstall1 = {"ii1 sources\\install.swm", "xi1 media\\3_1_install.txt"};
const Lines kInstall2 = {"ii2 sources\\install2.swm", "xi2 media\\3_2_install.txt"};
const Lines kInstall3 = {"ii3 sources\\install3.swm", "xi3 media\\3_3_install.txt"};

Lines Join(std::initializer_list<Lines> groups) {
  Lines all;
  for (const Lines& group : groups) all.insert(all.end(), group.begin(), group.end());
  return all;
}

TEST(SplitMd5ListTest, DistributesTwoDataAndThreeInstallPartsInEveryMode) {
  const Lines list = RecoveryList(3, 2);

  EXPECT_THAT(Discs(Split(list, kPartsPerSingleLayerDisc)),
              ElementsAre(Join({kOthers, {kVersion}, kData1}), Join({{kVersion}, kData2}),
                          Join({{kVersion}, kInstall1}), Join({{kVersion}, kInstall2}),
                          Join({{kVersion}, kInstall3})));
  EXPECT_THAT(Discs(Split(list, kPartsPerDualLayerDisc)),
              ElementsAre(Join({kOthers, {kVersion}, kData1, kData2}),
                          Join({{kVersion}, kInstall1, kInstall2}), Join({{kVersion}, kInstall3})));
  EXPECT_THAT(
      Discs(Split(list, kPartsPerUsbDrive)),
      ElementsAre(Join({kOthers, {kVersion}, kData1, kData2, kInstall1, kInstall2, kInstall3})));
}

TEST(SplitMd5ListTest, OnePartOfAKindIsAWimFileAndSeveralAreNumberedSwmFiles) {
  EXPECT_THAT(Discs(Split(RecoveryList(1, 1), kPartsPerUsbDrive)),
              ElementsAre(Join({kOthers,
                                {kVersion, "id1 sources\\data.wim", "xd1 media\\1_1_data.txt",
                                 "ii1 sources\\install.wim", "xi1 media\\1_1_install.txt"}})));
  EXPECT_THAT(
      Discs(Split(RecoveryList(1, 0), kPartsPerSingleLayerDisc)),
      ElementsAre(Join({kOthers, {kVersion, "ii1 sources\\install.wim", "xi1 media\\1_1.txt"}})));

  const auto discs = Discs(Split(RecoveryList(3, 0), kPartsPerSingleLayerDisc));
  ASSERT_EQ(discs.size(), 3u);
  EXPECT_THAT(discs[0],
              ElementsAreArray(
                  Join({kOthers, {kVersion, "ii1 sources\\install.swm", "xi1 media\\3_1.txt"}})));
  EXPECT_THAT(discs[1], ElementsAre(kVersion, "ii2 sources\\install2.swm", "xi2 media\\3_2.txt"));
  EXPECT_THAT(discs[2], ElementsAre(kVersion, "ii3 sources\\install3.swm", "xi3 media\\3_3.txt"));
}

TEST(SplitMd5ListTest, AnInstallIndexWithoutDataIndexNeedsThePlainIndexEntries) {
  Lines list = RecoveryList(2, 0);
  for (std::string& line : list) {
    if (const size_t at = line.find("_1.txt"); at != std::string::npos)
      line.insert(at + 2, "_install");
    if (const size_t at = line.find("_2.txt"); at != std::string::npos)
      line.insert(at + 2, "_install");
  }
  // Only install index entries: the parts are still looked up with the plain names.
  const SplitOutcome failed = Split(list, kPartsPerUsbDrive);
  EXPECT_EQ(failed.exitCode, 11);
  EXPECT_EQ(failed.errors, u"sources\\install.swm or media\\2_1.txt are not found in MD5 list.\n");
  EXPECT_TRUE(failed.discFiles.empty());

  list.push_back("p1 Media\\1\\media\\2_1.txt");
  list.push_back("p2 Media\\1\\media\\2_2.txt");
  const auto discs = Discs(Split(list, kPartsPerDualLayerDisc));
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_THAT(discs[0], ElementsAre("aa01 boot\\bcd", "aa02 recovery\\oem\\notes.txt",
                                    "xi1 media\\2_1_install.txt", "xi2 media\\2_2_install.txt",
                                    kVersion, "ii1 sources\\install.swm", "p1 media\\2_1.txt",
                                    "ii2 sources\\install2.swm", "p2 media\\2_2.txt"));
}

TEST(SplitMd5ListTest, DataEntriesCountOnlyBesideInstallEntries) {
  // Plain entries describe the install parts; data entries there are ordinary files.
  Lines list = RecoveryList(1, 0);
  list.push_back("dd Media\\1\\media\\1_1_data.txt");
  const auto discs = Discs(Split(list, kPartsPerSingleLayerDisc));
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_THAT(discs[0], ElementsAre("aa01 boot\\bcd", "aa02 recovery\\oem\\notes.txt",
                                    "dd media\\1_1_data.txt", kVersion, "ii1 sources\\install.wim",
                                    "xi1 media\\1_1.txt"));
}

TEST(SplitMd5ListTest, TheFirstIndexEntryInInputOrderGivesTheCount) {
  // Index entries for one and for two install parts, with the files of both layouts.
  Lines oneFirst = RecoveryList(2, 0);
  oneFirst.insert(oneFirst.begin(),
                  {"w1 Media\\1\\media\\1_1.txt", "w0 Media\\1\\sources\\install.wim"});
  const auto discs = Discs(Split(oneFirst, kPartsPerSingleLayerDisc));
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_THAT(discs[0], ::testing::IsSupersetOf({"w0 sources\\install.wim", "w1 media\\1_1.txt",
                                                 "ii1 sources\\install.swm"}));

  Lines twoFirst = RecoveryList(2, 0);
  twoFirst.insert(twoFirst.end(),
                  {"w1 Media\\1\\media\\1_1.txt", "w0 Media\\1\\sources\\install.wim"});
  EXPECT_EQ(Split(twoFirst, kPartsPerSingleLayerDisc).discFiles.size(), 2u);
}

TEST(SplitMd5ListTest, TheFirstLineOfAKeyWinsAndNoKeyIsWrittenTwice) {
  Lines list = RecoveryList(1, 0);
  list.push_back("second Media_2\\boot\\bcd");
  list.push_back("second Media_2\\version.doc");
  list.push_back("second Media_2\\sources\\install.wim");
  const auto discs = Discs(Split(list, kPartsPerUsbDrive));
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_THAT(discs[0], ElementsAre("aa01 boot\\bcd", "aa02 recovery\\oem\\notes.txt", kVersion,
                                    "ii1 sources\\install.wim", "xi1 media\\1_1.txt"));
}

TEST(SplitMd5ListTest, KeysAreCaseSensitive) {
  Lines list = RecoveryList(2, 0);
  list[3] = "ii1 Media\\1\\Sources\\install.swm";
  EXPECT_EQ(Split(list, kPartsPerUsbDrive).errors,
            u"sources\\install.swm or media\\2_1.txt are not found in MD5 list.\n");

  list = RecoveryList(2, 0);
  list[4] = "xi1 Media\\1\\Media\\2_1.txt";
  list[6] = "xi2 Media\\1\\Media\\2_2.txt";
  EXPECT_EQ(Split(list, kPartsPerUsbDrive).errors, u"Cannot determine total number of WIM/SWMs.\n");

  list = RecoveryList(1, 0);
  list[0] = "aa00 Media\\1\\Version.doc";
  EXPECT_EQ(Split(list, kPartsPerUsbDrive).errors, u"Cannot find version.doc's MD5.\n");

  list = RecoveryList(1, 0);
  list[0] = "aa00 media1\\version.doc";  // the folder form itself is case-sensitive too
  EXPECT_EQ(Split(list, kPartsPerUsbDrive).exitCode, 11);
}

TEST(SplitMd5ListTest, ContentFailuresComeInTheirOrderWithTheirTexts) {
  struct Case {
    Lines list;
    std::u16string errors;
  };
  const auto without = [](Lines list, const std::string& needle) {
    std::erase_if(list,
                  [&](const std::string& line) { return line.find(needle) != std::string::npos; });
    return list;
  };
  const std::u16string kCounts = u"Cannot determine total number of WIM/SWMs.\n";
  const Case cases[] = {
      {{}, kCounts},
      {without(RecoveryList(1, 0), "media\\"), kCounts},
      {{"a Media\\1\\media\\0_1_install.txt", "b Media\\1\\version.doc"}, kCounts},
      {{"a Media\\1\\media\\0_1.txt", "b Media\\1\\version.doc"}, kCounts},
      {{"a Media\\1\\media\\1_1_install.txt", "c Media\\1\\media\\0_1_data.txt"}, kCounts},
      {without(RecoveryList(1, 0), "version.doc"), u"Cannot find version.doc's MD5.\n"},
      // The counts are looked for before version.doc.
      {without(without(RecoveryList(1, 0), "version.doc"), "media\\"), kCounts},
      {without(RecoveryList(3, 2), "data2.swm"),
       u"sources\\data2.swm or media\\2_2_data.txt are not found in MD5 list.\n"},
      {without(RecoveryList(3, 2), "3_3_install"),
       u"sources\\install3.swm or media\\3_3_install.txt are not found in MD5 list.\n"},
      // The first missing part in medium order is named.
      {without(without(RecoveryList(3, 2), "install2.swm"), "2_1_data"),
       u"sources\\data.swm or media\\2_1_data.txt are not found in MD5 list.\n"},
  };
  for (const Case& c : cases) {
    for (const int parts : {kPartsPerSingleLayerDisc, kPartsPerDualLayerDisc, kPartsPerUsbDrive}) {
      const SplitOutcome outcome = Split(c.list, parts);
      EXPECT_EQ(outcome.exitCode, 11);
      EXPECT_EQ(outcome.errors, c.errors);
      EXPECT_TRUE(outcome.discFiles.empty());
    }
  }
}

TEST(SplitMd5ListTest, LinesOutsideTheFormatContributeNothing) {
  Lines list = RecoveryList(1, 0);
  const Lines odd = {
      "",
      "no-space-at-all",
      "sp Media\\1\\Program Files\\a.txt",  // a path with a space
      std::string(kMaxLineLength, 'c') + "t Media\\1\\tail-of-an-over-long-line.txt",
      "de Media\\1\\" + std::string(kMaxLineLength - 11, 'b'),  // one unit over the limit
      "ee Media\\1\\",                                          // an empty path
      " Media\\1\\empty-digest.txt",  // the digest is taken as it is, even empty
      "dd Media\\1\\" + std::string(kMaxLineLength - 12, 'a'),  // just at the limit
  };
  list.insert(list.begin() + 1, odd.begin(), odd.end());
  std::string text;
  for (const std::string& line : list) text += line + "\n";
  text += "last Media\\1\\without-line-feed.txt";
  const auto discs = Discs(SplitMd5List(U16(text), kPartsPerUsbDrive));
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_THAT(discs[0],
              ElementsAre(" empty-digest.txt", "dd " + std::string(kMaxLineLength - 12, 'a'),
                          "aa01 boot\\bcd", "aa02 recovery\\oem\\notes.txt", kVersion,
                          "ii1 sources\\install.wim", "xi1 media\\1_1.txt"));
}

TEST(SplitMd5ListTest, ALineWhosePathLostItsMediumFolderFailsTheList) {
  // Each would otherwise drop one file from the check without a word.
  for (const std::string damaged :
       {"aa01 Meida01\\boot\\bcd", "aa01 Media1\\boot\\bcd", "nd Media1x\\no-digit.txt",
        "nb Media12no-backslash.txt", "pf Other1\\not-a-media-folder.txt",
        "two  Media\\1\\two-spaces.txt", "ee \\boot\\bcd"}) {
    Lines list = RecoveryList(1, 0);
    list.insert(list.begin() + 1, damaged);
    for (const int parts : {kPartsPerSingleLayerDisc, kPartsPerUsbDrive}) {
      const SplitOutcome outcome = Split(list, parts);
      EXPECT_EQ(outcome.exitCode, 11) << damaged;
      EXPECT_EQ(outcome.errors, u"No medium folder in the MD5 list line: " + U16(damaged) + u"\n");
      EXPECT_TRUE(outcome.discFiles.empty());
    }
  }
}

TEST(SplitMd5ListTest, WritesUtf16LittleEndianWithItsMarkAndCrLf) {
  const SplitOutcome outcome = SplitMd5List(
      u"d0 Media\\1\\version.doc\nd\u00e91 Media\\1\\media\\1_1.txt\n"
      u"d2 Media\\1\\sources\\install.wim\n",
      kPartsPerUsbDrive);
  ASSERT_EQ(outcome.discFiles.size(), 1u);
  const std::string expected = std::string("\xFF\xFE", 2) + testing::Utf16Le(
                                                                u"d0 version.doc\r\n"
                                                                u"d2 sources\\install.wim\r\n"
                                                                u"d\u00e91 media\\1_1.txt\r\n");
  EXPECT_EQ(outcome.discFiles[0], expected);
}

}  // namespace
}  // namespace kestrune::harlune
