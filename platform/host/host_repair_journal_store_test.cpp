#include "platform/host/host_repair_journal_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "test_support/test_files.h"

namespace kestrune::platform::host {
namespace {

namespace fs = std::filesystem;
using kestrune::testing::TempFolder;

TEST(HostRepairJournalStoreTest, JournalsAreWrittenReadListedAndRemovedByName) {
  TempFolder temp;
  const fs::path folder = temp.path() / "programdata" / "Kestrune" / "journal";
  HostRepairJournalStore store(folder);
  EXPECT_TRUE(store.List().empty());
  EXPECT_FALSE(fs::exists(folder)) << "looking makes nothing";

  {
    const auto lock = store.Lock();
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    ASSERT_TRUE(store.Write("12-34.journal", "first\n"));
    ASSERT_TRUE(store.Write("12-34.journal", "second\n"));
    ASSERT_TRUE(store.Write("56-78.journal", "other\n"));
  }
  std::ofstream(folder / "12-34.journal.new-999") << "a write a power cut broke off";
  std::vector<std::string> names = store.List();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"12-34.journal", "56-78.journal"}));
  std::string text;
  ASSERT_TRUE(store.Read("12-34.journal", text));
  EXPECT_EQ(text, "second\n");
  EXPECT_TRUE(store.Remove("12-34.journal"));
  EXPECT_TRUE(store.Remove("12-34.journal")) << "gone is gone";
  EXPECT_FALSE(store.Read("12-34.journal", text));

  for (const char* name : {"../escape.journal", "a/b.journal", ".hidden.journal", "", "x y"}) {
    EXPECT_FALSE(store.Write(name, "x")) << name;
    EXPECT_FALSE(store.Read(name, text)) << name;
  }
  EXPECT_FALSE(fs::exists(temp.path() / "programdata" / "Kestrune" / "escape.journal"));
}

TEST(HostRepairJournalStoreTest, APlaceThatIsNotTheProgramsOwnIsNeverUsed) {
  TempFolder temp;
  const fs::path elsewhere = temp.path() / "elsewhere";
  fs::create_directories(elsewhere);
  std::ofstream(elsewhere / "1-1.journal") << "kestrune-repair-journal 1\nfolder /home\n";
  fs::create_directory_symlink(elsewhere, temp.path() / "linked");
  HostRepairJournalStore linked(temp.path() / "linked");
  EXPECT_EQ(linked.Lock(), nullptr);
  EXPECT_TRUE(linked.List().empty()) << "a link is not followed";
  EXPECT_FALSE(linked.Write("2-2.journal", "x"));

  const fs::path open = temp.path() / "open";
  fs::create_directories(open);
  fs::permissions(open, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all);
  HostRepairJournalStore writable(open);
  EXPECT_EQ(writable.Lock(), nullptr) << "others may write it";
  EXPECT_FALSE(writable.Write("2-2.journal", "x"));
  EXPECT_FALSE(fs::exists(open / "2-2.journal"));
}

TEST(HostRepairJournalStoreTest, AProcessRunsOnlyWithItsOwnIdAndStartTime) {
  TempFolder temp;
  HostRepairJournalStore store(temp.path() / "journal");
  const ProcessIdentity self = store.Self();
  EXPECT_EQ(self.id, static_cast<uint32_t>(::getpid()));
  EXPECT_NE(self.startTime, 0u);
  EXPECT_EQ(store.Self(), self) << "the same on every look";
  EXPECT_TRUE(store.IsRunning(self));
  EXPECT_FALSE(store.IsRunning({self.id, self.startTime + 1})) << "an earlier owner of the id";
  EXPECT_FALSE(store.IsRunning({0, 0}));

  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    char byte;
    static_cast<void>(::read(gate[0], &byte, 1));  // until the parent has looked
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  const ProcessIdentity started = HostProcessIdentity(static_cast<uint32_t>(child));
  EXPECT_NE(started.startTime, 0u);
  EXPECT_TRUE(store.IsRunning(started));
  static_cast<void>(::write(gate[1], "x", 1));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(gate[0]);
  ::close(gate[1]);
  EXPECT_FALSE(store.IsRunning(started)) << "ended";
}

}  // namespace
}  // namespace kestrune::platform::host
