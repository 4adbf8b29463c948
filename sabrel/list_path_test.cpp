#include "sabrel/list_path.h"

#include <gtest/gtest.h>

namespace kestrune::sabrel {
namespace {

using Names = std::vector<std::string>;

TEST(ListPathTest, SplitsAtBackslashesAndSlashes) {
  EXPECT_EQ(SplitListedPath("version.doc").components, Names{"version.doc"});
  EXPECT_EQ(SplitListedPath("media\\1_1_install.txt").components,
            (Names{"media", "1_1_install.txt"}));
  EXPECT_EQ(SplitListedPath("a/b\\c d.txt").components, (Names{"a", "b", "c d.txt"}));
  EXPECT_EQ(SplitListedPath("..name\\x..y\\.hidden").components,
            (Names{"..name", "x..y", ".hidden"}));
  EXPECT_TRUE(SplitListedPath("Recovery\\OEM\\file").problem.empty());
}

TEST(ListPathTest, RefusesEveryWayOutOfTheDriveRoot) {
  for (const char* path : {"..", "..\\secret", "a\\..\\..\\secret", "a/../b", "\\etc\\passwd",
                           "/etc/passwd", "\\\\server\\share\\f", "C:\\Windows\\win.ini",
                           "C:secret", "a\\b:stream", "a\\..", "..\\"}) {
    const ListedPath result = SplitListedPath(path);
    EXPECT_FALSE(result.problem.empty()) << path;
    EXPECT_TRUE(result.components.empty()) << path;
  }
}

TEST(ListPathTest, RefusesNamesADriveCannotHold) {
  for (const char* path : {"",      "a\\\\b", "a\\",     ".",         "a\\.\\b",  "a\tb",  "a\x7f",
                           "a?",    "a*",     "a|b",     "a<b",       "a>b",      "a\"b",  "name.",
                           "name ", "CON",    "nul.txt", "dir\\Lpt3", "com1.log", "conin$"}) {
    EXPECT_FALSE(SplitListedPath(path).problem.empty()) << '"' << path << '"';
  }
  // Close to device names, but ordinary files.
  for (const char* path : {"CONSOLE", "com0", "lpt10", "nul_file", "aux2.txt"}) {
    EXPECT_TRUE(SplitListedPath(path).problem.empty()) << path;
  }
}

}  // namespace
}  // namespace kestrune::sabrel
