#include "md5lists/md5_list_conversion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "md5lists/md5_list_split.h"
#include "md5lists/test_lists.h"

namespace kestrune::harlune {
namespace {

using ::testing::ElementsAre;
using testing::ListFile;
using testing::ReadFile;
using testing::RecoveryList;
using testing::TempFolder;
namespace fs = std::filesystem;

class ConvertMd5ListTest : public ::testing::Test {
 protected:
  int Convert(const fs::path& list, int partsPerDisc) {
    errors.clear();
    return ConvertMd5List(list, u"the list", partsPerDisc, errors, out.path());
  }
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder in;
  TempFolder out;
  std::u16string errors;
};

TEST_F(ConvertMd5ListTest, WritesOneListPerMediumAndLeavesTheInputAlone) {
  const std::string list = ListFile(RecoveryList(3, 2));
  const fs::path path = in.WriteFile("list.txt", list);
  EXPECT_EQ(Convert(path, kPartsPerDualLayerDisc), 0);
  EXPECT_EQ(errors, u"");
  EXPECT_THAT(Written(), ElementsAre("DISC1_MD5.txt", "DISC2_MD5.txt", "DISC3_MD5.txt"));
  EXPECT_EQ(ReadFile(out.path() / "DISC3_MD5.txt"),
            "\xFF\xFE" + testing::Utf16Le(u"aa00 version.doc\r\nii3 sources\\install3.swm\r\n"
                                          u"xi3 media\\3_3_install.txt\r\n"));
  EXPECT_EQ(ReadFile(path), list);
}

TEST_F(ConvertMd5ListTest, AnEarlierListIsReplaced) {
  out.WriteFile("DISC1_MD5.txt", std::string(100000, 'x'));
  EXPECT_EQ(Convert(in.WriteFile("list.txt", ListFile(RecoveryList(1, 0))), kPartsPerUsbDrive), 0);
  EXPECT_THAT(testing::DiscLines(ReadFile(out.path() / "DISC1_MD5.txt")),
              ElementsAre("aa01 boot\\bcd", "aa02 recovery\\oem\\notes.txt", "aa00 version.doc",
                          "ii1 sources\\install.wim", "xi1 media\\1_1.txt"));
}

TEST_F(ConvertMd5ListTest, ReadsUtf8AndUtf16WithoutMarkAlike) {
  std::string text;
  for (const std::string& line : RecoveryList(2, 1)) text += line + "\n";
  EXPECT_EQ(Convert(in.WriteFile("utf8.txt", "\xEF\xBB\xBF" + text), kPartsPerSingleLayerDisc), 0);
  const std::string disc2 = ReadFile(out.path() / "DISC2_MD5.txt");
  EXPECT_EQ(Convert(in.WriteFile("utf16.txt", testing::Utf16Le(testing::U16(text))),
                    kPartsPerSingleLayerDisc),
            0);
  EXPECT_EQ(ReadFile(out.path() / "DISC2_MD5.txt"), disc2);
  EXPECT_THAT(testing::DiscLines(disc2), ElementsAre("aa00 version.doc", "ii1 sources\\install.swm",
                                                     "xi1 media\\2_1_install.txt"));
  // Without a mark, UTF-8 bytes read as UTF-16 make no sense: no entries at all.
  EXPECT_EQ(Convert(in.WriteFile("plain.txt", text), kPartsPerSingleLayerDisc), 11);
}

TEST_F(ConvertMd5ListTest, ContentFailuresWriteNothing) {
  std::vector<std::string> lines = RecoveryList(3, 0);
  lines.pop_back();
  EXPECT_EQ(Convert(in.WriteFile("list.txt", ListFile(lines)), kPartsPerSingleLayerDisc), 11);
  EXPECT_EQ(errors, u"sources\\install3.swm or media\\3_3.txt are not found in MD5 list.\n");
  EXPECT_THAT(Written(), ElementsAre());
}

TEST_F(ConvertMd5ListTest, AListThatCannotBeCreatedStopsAfterTheLowerNumbers) {
  fs::create_directory(out.path() / "DISC2_MD5.txt");
  EXPECT_EQ(
      Convert(in.WriteFile("list.txt", ListFile(RecoveryList(3, 0))), kPartsPerSingleLayerDisc), 5);
  EXPECT_EQ(errors, u"Cannot open DISC2_MD5.txt for write.\n");
  EXPECT_THAT(Written(), ElementsAre("DISC1_MD5.txt", "DISC2_MD5.txt"));
  EXPECT_TRUE(fs::is_directory(out.path() / "DISC2_MD5.txt"));
  EXPECT_EQ(testing::DiscLines(ReadFile(out.path() / "DISC1_MD5.txt")).size(), 5u);
}

}  // namespace
}  // namespace kestrune::harlune
