// The link-safe file operations and the long-path form on a Windows API (wine64 in CI). Wine
// makes no Windows links: there the links are Linux symbolic links to folders, which wine shows
// as reparse points but cannot remove (win32_test_links.h).
#include "platform/win32/windows_support.h"

#include "platform/win32/win32_file_tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_test_links.h"

namespace kestrune::platform::win32 {
namespace {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

void WriteText(const std::wstring& path, const std::string& contents) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << contents;
}

std::string ReadText(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(Win32PathsTest, OnlyDriveAndUncPathsAreAbsolute) {
  for (const wchar_t* path : {LR"(C:\Windows)", L"c:/x", LR"(\\server\share)", LR"(\\?\C:\x)"}) {
    EXPECT_TRUE(IsAbsolutePath(path)) << path;
  }
  for (const wchar_t* path : {L"", L"cmd.exe", LR"(tools\7z.exe)", L"C:7z.exe", LR"(\Windows)",
                              L"C:", LR"(\\)", LR"(.\7z.exe)", L"1:\\x"}) {
    EXPECT_FALSE(IsAbsolutePath(path)) << path;
  }
}

TEST(Win32PathsTest, ExtendedLengthFormIsCanonicalAndKeepsUncServers) {
  EXPECT_EQ(ExtendedLengthPath(LR"(C:\a\b)"), LR"(\\?\C:\a\b)");
  EXPECT_EQ(ExtendedLengthPath(LR"(C:/a/./c/../b\\x)"), LR"(\\?\C:\a\b\x)");
  EXPECT_EQ(ExtendedLengthPath(LR"(\\server\share\a)"), LR"(\\?\UNC\server\share\a)");
  EXPECT_EQ(ExtendedLengthPath(LR"(\\?\C:\a\..\b)"), LR"(\\?\C:\a\..\b)");  // taken as it is
  EXPECT_EQ(ExtendedLengthPath(L"relative"), L"");
  EXPECT_EQ(ExtendedLengthPath(L"C:relative"), L"");
  const std::wstring deep = LR"(C:\)" + std::wstring(300, L'd') + LR"(\e)";
  EXPECT_EQ(ExtendedLengthPath(deep), LR"(\\?\)" + deep);
}

// A fresh folder per test, below the test program, removed again at the end.
class Win32FileTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    area_ = TestFolder() + L"\\file_tree_" +
            std::wstring(ToWide(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    RemoveTestFolder(area_);
    ASSERT_TRUE(CreateDirectoryW(area_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTestFolder(area_); }

  static std::wstring ToWide(const char* text) {
    const std::string bytes = text;
    return std::wstring(bytes.begin(), bytes.end());
  }

  // A folder of someone's own files outside the tree under test, that a link points to.
  std::wstring MakeUserFiles() {
    const std::wstring user = Path(L"user files");
    CreateDirectoryW(user.c_str(), nullptr);
    CreateDirectoryW((user + L"\\sub").c_str(), nullptr);
    WriteText(user + L"\\a.txt", "mine");
    WriteText(user + L"\\sub\\b.txt", "mine too");
    return user;
  }

  void ExpectUserFilesIntact(const std::wstring& user) {
    EXPECT_EQ(ReadText(user + L"\\a.txt"), "mine");
    EXPECT_EQ(ReadText(user + L"\\sub\\b.txt"), "mine too");
  }

  std::wstring Path(const std::wstring& name) const { return area_ + L"\\" + name; }

  Win32FileTree tree_;
  std::wstring area_;
};

TEST_F(Win32FileTreeTest, KindTellsFilesFoldersLinksAndNothing) {
  WriteText(Path(L"file"), "x");
  EXPECT_EQ(tree_.Kind(Path(L"file")), EntryKind::kFile);
  EXPECT_EQ(tree_.Kind(area_), EntryKind::kFolder);
  EXPECT_EQ(tree_.Kind(Path(L"absent")), EntryKind::kNone);
  EXPECT_EQ(tree_.Kind(L"file"), EntryKind::kNone) << "a relative path is never looked up";
  if (MakeFolderLink(Path(L"link"), MakeUserFiles()) == TestLink::kNone) {
    GTEST_SKIP() << "this system can make no link";
  }
  EXPECT_EQ(tree_.Kind(Path(L"link")), EntryKind::kLink);
}

TEST_F(Win32FileTreeTest, LinkInsideTheTreeIsNeverEntered) {
  const std::wstring user = MakeUserFiles();
  const std::wstring top = Path(L"tree");
  ASSERT_TRUE(tree_.CreateFolder(top));
  ASSERT_TRUE(tree_.CreateFolder(top + L"\\sub"));
  WriteText(top + L"\\plain.txt", "x");
  WriteText(top + L"\\sub\\deep.txt", "x");
  const TestLink link = MakeFolderLink(top + L"\\sub\\link", user);
  if (link == TestLink::kNone) GTEST_SKIP() << "this system can make no link";

  const bool removed = tree_.RemoveTree(top);

  ExpectUserFilesIntact(user);
  EXPECT_FALSE(Exists(top + L"\\plain.txt"));
  EXPECT_FALSE(Exists(top + L"\\sub\\deep.txt"));
  if (link == TestLink::kWindows) {
    EXPECT_TRUE(removed);
    EXPECT_EQ(tree_.Kind(top), EntryKind::kNone);
  } else {
    // Wine cannot remove a Linux link, so the tree cannot go entirely, and says so.
    EXPECT_FALSE(removed);
    EXPECT_EQ(tree_.Kind(top + L"\\sub\\link"), EntryKind::kLink);
  }
}

TEST_F(Win32FileTreeTest, LinkAtTheTopIsRemovedAsItself) {
  const std::wstring user = MakeUserFiles();
  const TestLink link = MakeFolderLink(Path(L"link"), user);
  if (link == TestLink::kNone) GTEST_SKIP() << "this system can make no link";

  const bool removed = tree_.RemoveTree(Path(L"link"));

  ExpectUserFilesIntact(user);
  EXPECT_EQ(removed, link == TestLink::kWindows);
  EXPECT_EQ(tree_.Kind(Path(L"link")),
            link == TestLink::kWindows ? EntryKind::kNone : EntryKind::kLink);
}

TEST_F(Win32FileTreeTest, ReadOnlyFilesAndFoldersGo) {
  const std::wstring top = Path(L"tree");
  ASSERT_TRUE(tree_.CreateFolder(top));
  ASSERT_TRUE(tree_.CreateFolder(top + L"\\locked"));
  WriteText(top + L"\\locked\\file.txt", "x");
  WriteText(top + L"\\file.txt", "x");
  ASSERT_TRUE(SetFileAttributesW((top + L"\\locked\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW((top + L"\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  SetFileAttributesW((top + L"\\locked").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_FALSE(DeleteFileW((top + L"\\file.txt").c_str())) << "the file is read-only";

  EXPECT_TRUE(tree_.RemoveTree(top));
  EXPECT_EQ(tree_.Kind(top), EntryKind::kNone);
}

TEST_F(Win32FileTreeTest, SingleFilesAndNothingAreRemovedToo) {
  WriteText(Path(L"file"), "x");
  SetFileAttributesW(Path(L"file").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(tree_.RemoveTree(Path(L"file")));
  EXPECT_FALSE(Exists(Path(L"file")));
  EXPECT_TRUE(tree_.RemoveTree(Path(L"absent"))) << "nothing there is nothing left";
  EXPECT_TRUE(tree_.RemoveTree(Path(L"absent\\below")));
  EXPECT_FALSE(tree_.RemoveTree(L"file_tree_relative")) << "a relative path is refused";
}

TEST_F(Win32FileTreeTest, TreeDeeperThanMaxPathIsMadeAndRemoved) {
  std::wstring deep = Path(L"tree");
  ASSERT_TRUE(tree_.CreateFolder(deep));
  const std::wstring top = deep;
  while (deep.size() < 3 * MAX_PATH) {
    deep += L"\\a folder name of some length";
    ASSERT_TRUE(tree_.CreateFolder(deep)) << deep.size();
  }
  const std::wstring file = ExtendedLengthPath(deep + L"\\file.txt");
  windows::UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_READONLY, nullptr));
  ASSERT_TRUE(handle.valid());
  handle.Reset();
  EXPECT_EQ(tree_.Kind(deep + L"\\file.txt"), EntryKind::kFile);

  EXPECT_TRUE(tree_.RemoveTree(top));
  EXPECT_EQ(tree_.Kind(top), EntryKind::kNone);
}

TEST_F(Win32FileTreeTest, CreateFolderTakesNoExistingName) {
  EXPECT_TRUE(tree_.CreateFolder(Path(L"new")));
  EXPECT_FALSE(tree_.CreateFolder(Path(L"new")));
  WriteText(Path(L"file"), "x");
  EXPECT_FALSE(tree_.CreateFolder(Path(L"file")));
  EXPECT_FALSE(tree_.CreateFolder(L"file_tree_relative"));
}

TEST_F(Win32FileTreeTest, CopyNewFileCopiesAcrossSeveralChunks) {
  std::string contents;
  for (int i = 0; contents.size() < 700 * 1024; ++i) contents += std::to_string(i) + ' ';
  WriteText(Path(L"source"), contents);
  ASSERT_TRUE(tree_.CopyNewFile(Path(L"source"), Path(L"copy")));
  EXPECT_EQ(ReadText(Path(L"copy")), contents);
  WriteText(Path(L"empty"), "");
  ASSERT_TRUE(tree_.CopyNewFile(Path(L"empty"), Path(L"empty copy")));
  EXPECT_EQ(tree_.Kind(Path(L"empty copy")), EntryKind::kFile);
}

TEST_F(Win32FileTreeTest, CopyNewFileRefusesExistingTargetsFoldersAndLinks) {
  WriteText(Path(L"source"), "new");
  WriteText(Path(L"existing"), "old");
  EXPECT_FALSE(tree_.CopyNewFile(Path(L"source"), Path(L"existing")));
  EXPECT_EQ(ReadText(Path(L"existing")), "old");

  ASSERT_TRUE(tree_.CreateFolder(Path(L"folder")));
  EXPECT_FALSE(tree_.CopyNewFile(Path(L"folder"), Path(L"from folder")));
  EXPECT_FALSE(tree_.CopyNewFile(Path(L"absent"), Path(L"from nothing")));
  EXPECT_FALSE(tree_.CopyNewFile(L"source", Path(L"from relative")));
  for (const wchar_t* name : {L"from folder", L"from nothing", L"from relative"}) {
    EXPECT_EQ(tree_.Kind(Path(name)), EntryKind::kNone) << "nothing is left at the target";
  }

  if (MakeFolderLink(Path(L"link"), MakeUserFiles()) == TestLink::kNone) {
    GTEST_SKIP() << "this system can make no link";
  }
  EXPECT_FALSE(tree_.CopyNewFile(Path(L"link"), Path(L"from link")));
  EXPECT_EQ(tree_.Kind(Path(L"from link")), EntryKind::kNone);
}

}  // namespace
}  // namespace kestrune::platform::win32
