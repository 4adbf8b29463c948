#include "app/seven_zip_command.h"

#include <gtest/gtest.h>

#include "app/work_folder.h"

namespace kestrune {
namespace {

TEST(SevenZipCommandTest, ANameThatSevenZipWouldReadAsASwitchOrListIsPassedAsAPath) {
  EXPECT_EQ(SevenZipFileArgument(L"disc1.iso"), L"disc1.iso");
  EXPECT_EQ(SevenZipFileArgument(L"a-b@c.iso"), L"a-b@c.iso");
  EXPECT_EQ(SevenZipFileArgument(L"-disc1.iso"), JoinPath(L".", L"-disc1.iso"));
  EXPECT_EQ(SevenZipFileArgument(L"@list.txt"), JoinPath(L".", L"@list.txt"));

  EXPECT_EQ(SevenZipExtractTree(L"-disc1.iso", L"tempCompareFiles"),
            L"x \"" + JoinPath(L".", L"-disc1.iso") + L"\" -o\"tempCompareFiles\" -aoa -r");
  EXPECT_EQ(SevenZipExtractFlat(L"C:\\set\\a.7z", L"pw", L"C:\\set"),
            L"e \"C:\\set\\a.7z\" -p\"pw\" -o\"C:\\set\" -aoa -y");
}

}  // namespace
}  // namespace kestrune
