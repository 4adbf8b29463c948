// The USB writer's diskpart scripts, the reading of diskpart's answer, the values allowed into
// a script.
#include "engine/usb_diskpart.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrune::usb {
namespace {

TEST(DiskpartScriptTest, ScriptsByteForByte) {
  EXPECT_EQ(LookupScript(L'E'), "sel vol E\ndetail vol\n");
  EXPECT_EQ(WipeScript(L'F'), "sel vol F\nclean\n") << "the disk that holds the letter";
  EXPECT_EQ(MarkIncompleteScript(3), "sel dis 3\nsel par 1\ninactive\n");
  const std::string build = BuildScript(1, 10740, L"RECOVERY", L'E');
  EXPECT_EQ(build,
            "sel dis 1\nclean\nautomount disable\ncreate par primary size=10740 noerr\n"
            "automount enable\nsel par 1\nonline volume\nactive\n"
            "format fs=FAT32 label=\"RECOVERY\" quick\nassign letter=E\nexit");
  EXPECT_EQ(std::count(build.begin(), build.end(), '\n'), 10) << "eleven lines, the last bare";
  const std::string other = BuildScript(12, 4294967295u, L"MY DISK_1-2", L'Z');
  EXPECT_EQ(other.substr(0, 11), "sel dis 12\n");
  EXPECT_NE(other.find("\ncreate par primary size=4294967295 noerr\n"), std::string::npos);
  EXPECT_NE(other.find("\nformat fs=FAT32 label=\"MY DISK_1-2\" quick\nassign letter=Z\nexit"),
            std::string::npos);
}

TEST(DiskpartScriptTest, TheInterpreterRunsWithoutAutoRunAndNamesEveryProgramByItsFullPath) {
  const auto run = DiskpartRun(L"/sys", L"/area/rec1.tmp", L"/area/rec2.tmp");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->program, L"/sys/cmd.exe");
  EXPECT_EQ(run->parameters,
            L"/D /C /sys/chcp.com 437 & /sys/diskpart.exe /s \"/area/rec1.tmp\" > "
            L"\"/area/rec2.tmp\"");
  EXPECT_FALSE(DiskpartRun(L"", L"/area/a", L"/area/b")) << "a system folder is needed";
  EXPECT_FALSE(DiskpartRun(L"sys", L"/area/a", L"/area/b")) << "and it must be absolute";
  for (const wchar_t* folder : {L"/my sys", L"/s&s", L"/s%PATH%", L"/s(1)", L"/s\"x"}) {
    EXPECT_FALSE(DiskpartRun(folder, L"/area/a", L"/area/b")) << "cmd would read it";
  }
  EXPECT_FALSE(DiskpartRun(L"/sys", L"/area/\"a", L"/area/b"));
}

TEST(DiskpartScriptTest, OnlyPlainValuesGoIntoAScript) {
  EXPECT_EQ(ScriptLabel(L""), L"RECOVERY");
  EXPECT_EQ(ScriptLabel(L"Recovery 1"), L"Recovery 1");
  EXPECT_EQ(ScriptLabel(L"ABCDEFGHIJK"), L"ABCDEFGHIJK");
  EXPECT_EQ(ScriptLabel(L"ABCDEFGHIJKL"), L"RECOVERY") << "FAT32 labels hold 11 characters";
  EXPECT_EQ(ScriptLabel(L"A_B-C"), L"A_B-C");
  for (const wchar_t* bad : {L"X\" quick\nclean", L"a/b", L"   ", L"caf\u00e9", L"A.B", L"tab\t"}) {
    EXPECT_EQ(ScriptLabel(bad), L"RECOVERY") << "label with a character diskpart would misread";
  }
  EXPECT_TRUE(IsScriptLetter(L'A'));
  EXPECT_TRUE(IsScriptLetter(L'Z'));
  for (const wchar_t bad : {L'\0', L'e', L'@', L'[', L'1', L'\u00c4'})
    EXPECT_FALSE(IsScriptLetter(bad));
}

DiskLookup Parse(const std::string& output) {
  std::istringstream in(output);
  return ParseDiskLookup(in);
}

TEST(DiskLookupTest, TheOneMarkedDiskLineNamesTheDisk) {
  const std::string table =
      "\r\n  Disk ###  Status         Size     Free     Dyn  Gpt\r\n"
      "  --------  -------------  -------  -------  ---  ---\r\n";
  auto lookup =
      Parse(table + "* Disk 2    Online           29 GB      0 B\r\n\r\nRead-only : No\r\n");
  EXPECT_EQ(lookup.outcome, DiskLookup::kFound);
  EXPECT_EQ(lookup.disk, 2u);
  lookup = Parse("*\n* \n* Disk 9999\n");
  EXPECT_EQ(lookup.outcome, DiskLookup::kFound) << "lines of a bare asterisk are passed over";
  EXPECT_EQ(lookup.disk, 9999u);

  EXPECT_EQ(Parse(table + "* Disk 0    Online\r\n").outcome, DiskLookup::kNone)
      << "disk 0 is never accepted";
  EXPECT_EQ(Parse(table + "  Disk 1    Online\r\n").outcome, DiskLookup::kNone) << "no mark";
  EXPECT_EQ(Parse("There are no disks attached to this volume.\r\n").outcome, DiskLookup::kNone);
  EXPECT_EQ(Parse("").outcome, DiskLookup::kNone);
  for (const char* bad : {"* Disk 10000\n", "* Disk 1a\n", "* Disk -1\n", "* Disk\n",
                          "* Disk 0x1\n", "*Disk 1\n"}) {
    EXPECT_EQ(Parse(bad).outcome, DiskLookup::kNone) << bad;
  }
  EXPECT_EQ(Parse(table + "* Disk 1    Online\r\n* Disk 2    Online\r\n").outcome,
            DiskLookup::kSeveral)
      << "a volume spanning two disks";
  EXPECT_EQ(Parse("* Disk 0\n* Disk 3\n").outcome, DiskLookup::kSeveral);

  // A diskpart that answers in another language marks its disk line all the same.
  lookup = Parse("\r\n  Datentr\x84ger ###  Status\r\n* Datentr\x84ger 4    Online   29 GB\r\n");
  EXPECT_EQ(lookup.outcome, DiskLookup::kFound);
  EXPECT_EQ(lookup.disk, 4u);
}

}  // namespace
}  // namespace kestrune::usb
