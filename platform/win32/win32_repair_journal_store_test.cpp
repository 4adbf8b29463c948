// The repair journals on a Windows API (wine64 in CI). Wine shows every file as the user's, so
// there the folders the store makes are never trusted and the store is unusable, as it is on
// Windows when someone else made them.
#include "platform/win32/windows_support.h"

#include "platform/win32/win32_repair_journal_store.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/win32_private_folders.h"
#include "platform/win32/win32_test_links.h"

namespace kestrune::platform::win32 {
namespace {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/")) + L"\\journal_store";
}

class Win32RepairJournalStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTestFolder(base_);
    ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTestFolder(base_); }

  /// Whether the system says the folder's owner is the administrators or the system.
  bool Trusted(const std::wstring& folder) {
    windows::UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    PSID owner = nullptr;
    return GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                 &owner, nullptr, nullptr, nullptr,
                                 descriptor.Receive()) == ERROR_SUCCESS &&
           IsTrustedOwner(owner);
  }

  const std::wstring base_ = TestFolder();
};

TEST_F(Win32RepairJournalStoreTest, JournalsLiveInTheProgramsOwnFolderOnly) {
  Win32RepairJournalStore store(base_);
  EXPECT_TRUE(store.List().empty());
  EXPECT_EQ(GetFileAttributesW((base_ + L"\\Kestrune").c_str()), INVALID_FILE_ATTRIBUTES)
      << "looking makes nothing";

  const auto lock = store.Lock();
  const std::wstring journals = base_ + L"\\Kestrune\\journal";
  ASSERT_NE(GetFileAttributesW(journals.c_str()), INVALID_FILE_ATTRIBUTES);
  if (!Trusted(base_ + L"\\Kestrune") || !Trusted(journals)) {
    EXPECT_EQ(lock, nullptr) << "a folder not owned by the administrators is not used";
    EXPECT_FALSE(store.Write("1-2.journal", "x"));
    EXPECT_TRUE(store.List().empty());
    if (RunsUnderWine()) GTEST_SKIP() << "wine shows every folder as the user's";
    return;
  }
  ASSERT_NE(lock, nullptr);
  ASSERT_TRUE(store.Write("12-34.journal", "x"));
  std::string text;
  ASSERT_TRUE(store.Read("12-34.journal", text));
  EXPECT_EQ(text, "x");
}

// The files themselves, in a folder of the test's own.
TEST_F(Win32RepairJournalStoreTest, JournalsAreWrittenReadListedAndRemovedByName) {
  Win32JournalFolder folder(base_);
  const auto lock = folder.Lock();
  ASSERT_NE(lock, nullptr);
  ASSERT_TRUE(folder.Write("12-34.journal", "first\n"));
  ASSERT_TRUE(folder.Write("12-34.journal", "second\n"));
  ASSERT_TRUE(folder.Write("56-78.journal", "other\n"));
  ASSERT_TRUE(CreateDirectoryW((base_ + L"\\9-9.journal").c_str(), nullptr));
  HANDLE broken = CreateFileW((base_ + L"\\12-34.journal.new-77").c_str(), GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(broken, INVALID_HANDLE_VALUE) << "a write a power cut broke off";
  CloseHandle(broken);
  std::vector<std::string> names = folder.List();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"12-34.journal", "56-78.journal"}));
  std::string text;
  ASSERT_TRUE(folder.Read("12-34.journal", text));
  EXPECT_EQ(text, "second\n");
  EXPECT_TRUE(folder.Remove("12-34.journal"));
  EXPECT_TRUE(folder.Remove("12-34.journal")) << "gone is gone";
  EXPECT_FALSE(folder.Read("12-34.journal", text));
  for (const char* name : {"..\\escape.journal", "a/b.journal", ".hidden.journal", "", "x y"}) {
    EXPECT_FALSE(folder.Write(name, "x")) << name;
    EXPECT_FALSE(folder.Read(name, text)) << name;
  }
  EXPECT_EQ(GetFileAttributesW((TestFolder() + L"\\..\\escape.journal").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32RepairJournalStoreTest, AProcessRunsOnlyWithItsOwnIdAndCreationTime) {
  Win32RepairJournalStore store(base_);
  const ProcessIdentity self = store.Self();
  EXPECT_EQ(self.id, GetCurrentProcessId());
  EXPECT_NE(self.startTime, 0u);
  EXPECT_EQ(Win32ProcessIdentity(self.id), self);
  EXPECT_TRUE(store.IsRunning(self));
  EXPECT_FALSE(store.IsRunning({self.id, self.startTime + 1})) << "an earlier owner of the id";
  EXPECT_FALSE(store.IsRunning({0, 0}));

  // A child that has ended, while its handle still keeps its id from being given again.
  wchar_t command[] = L"cmd.exe /c exit 0";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &child));
  windows::UniqueHandle process(child.hProcess), thread(child.hThread);
  const ProcessIdentity started = Win32ProcessIdentity(child.dwProcessId);
  ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(store.IsRunning({child.dwProcessId, started.startTime})) << "ended";
}

}  // namespace
}  // namespace kestrune::platform::win32
