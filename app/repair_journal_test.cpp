// The repair journal: what it keeps, what a later start undoes after a run died, and two runs
// that switch the same user's autoplay off at once.
#include "app/repair_journal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/dead_run_repair.h"
#include "app/test_support.h"
#include "platform/host/host_file_tree.h"
#include "sim/registry_hive.h"
#include "sim/sim_test_support.h"
#include "sim/sim_user_registry.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using platform::ProcessIdentity;
using sim::MachineDescription;
using sim::RegistryHive;
using testing::FakeJournalStore;
using testing::Wide;

constexpr const char* kAutoplayKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";
constexpr const char* kPoliciesKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

SavedValue Value(SavedValueState state, uint32_t type = 0, std::vector<uint8_t> data = {}) {
  SavedValue value;
  value.state = state;
  value.type = type;
  value.data = std::move(data);
  return value;
}

TEST(JournalTextTest, EveryChangeReadsBackAsItWasWritten) {
  JournalContents contents;
  contents.owner = {4242, 0xfedcba9876543210ULL};
  UserHiveEntry entry;
  ASSERT_TRUE(entry.userName.Assign(L"Ünïcode user 100%"));
  ASSERT_TRUE(entry.sidString.Assign(L"S-1-5-21-1-2-3-1001"));
  entry.hive = HiveMount::kLoadedBySystem;
  entry.hiveLeftMounted = true;
  entry.autoplay = Value(SavedValueState::kPresent, 3, {0x00, 0xff, 0x25, 0x20});
  entry.noAutoRun = Value(SavedValueState::kAbsent);
  contents.hives.push_back(entry);
  entry.autoplay = Value(SavedValueState::kUnreadable);
  entry.noAutoRun = Value(SavedValueState::kUntouched);
  ASSERT_TRUE(entry.sidString.Assign(L"S-1-5-21-1-2-3-1002"));
  contents.hives.push_back(entry);
  contents.mountedHives.push_back({L"S-1-5-21-1-2-3-1001", L"a b"});
  contents.folders = {L"C:\\Users\\me\\Downloads\\set one\\tempCompareFiles",
                      L"/tmp/x/programdata/Kestrune/run-AbC123", L"C:\\日本語\\line\nbreak"};

  const std::string text = FormatJournal(contents);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << "one line per change:\n" << text;
  JournalContents read;
  ASSERT_TRUE(ParseJournal(text, read));
  EXPECT_EQ(read.owner, contents.owner);
  ASSERT_EQ(read.hives.size(), 2u);
  EXPECT_EQ(read.hives[0].userName.str(), L"Ünïcode user 100%");
  EXPECT_EQ(read.hives[0].hive, HiveMount::kLoadedBySystem);
  EXPECT_TRUE(read.hives[0].hiveLeftMounted);
  EXPECT_EQ(read.hives[0].autoplay.state, SavedValueState::kPresent);
  EXPECT_EQ(read.hives[0].autoplay.type, 3u);
  EXPECT_EQ(read.hives[0].autoplay.data, (std::vector<uint8_t>{0x00, 0xff, 0x25, 0x20}));
  EXPECT_EQ(read.hives[0].noAutoRun.state, SavedValueState::kAbsent);
  EXPECT_EQ(read.hives[1].sidString.str(), L"S-1-5-21-1-2-3-1002");
  EXPECT_EQ(read.hives[1].autoplay.state, SavedValueState::kUnreadable);
  EXPECT_EQ(read.hives[1].noAutoRun.state, SavedValueState::kUntouched);
  ASSERT_EQ(read.mountedHives.size(), 1u);
  EXPECT_EQ(read.mountedHives[0].userName, L"a b");
  EXPECT_EQ(read.folders, contents.folders);
}

TEST(JournalTextTest, AForeignHeaderIsRefusedAndABrokenLineIsPassedOver) {
  JournalContents read;
  EXPECT_FALSE(ParseJournal("", read));
  EXPECT_FALSE(ParseJournal("kestrune-repair-journal 2\nfolder C:\\x\n", read));
  ASSERT_TRUE(ParseJournal(
      "kestrune-repair-journal 1\n"
      "owner 7 99\n"
      "folder C:\\kept\n"
      "folder C:%ZZ\n"                                              // bad escape
      "hive S-1 here 0 user present:4:0 absent:0:-\n"               // odd hex digits
      "hive S-1 elsewhere 0 user absent:0:- absent:0:-\n"           // unknown mount
      "hive S-2 here 0 user present:99999999999:- absent:0:-\n"     // type out of range
      "mounted S-3\n"                                               // user missing
      "launch C:\\evil.exe\n"                                       // unknown change
      "hive S-4 system 0 user present:4:01000000 untouched:0:-\n",
      read));
  EXPECT_EQ(read.owner, (ProcessIdentity{7, 99}));
  EXPECT_EQ(read.folders, std::vector<std::wstring>{L"C:\\kept"});
  ASSERT_EQ(read.hives.size(), 1u);
  EXPECT_EQ(read.hives[0].sidString.str(), L"S-4");
  EXPECT_TRUE(read.mountedHives.empty());
}

TEST(RepairJournalTest, AJournalLivesExactlyAsLongAsSomethingIsLeftToUndo) {
  FakeJournalStore store;
  {
    RepairJournal journal(store);
    EXPECT_TRUE(store.journals.empty()) << "nothing is written before there is a change";
    journal.FolderMade(L"/a");
    journal.FolderMade(L"/b");
    journal.FolderMade(L"/a");
    ASSERT_EQ(store.journals.count(JournalName(store.self)), 1u);
    JournalContents kept;
    ASSERT_TRUE(ParseJournal(store.journals[JournalName(store.self)], kept));
    EXPECT_EQ(kept.owner, store.self);
    EXPECT_EQ(kept.folders, (std::vector<std::wstring>{L"/a", L"/b"}));
    journal.FolderRemoved(L"/a");
    journal.FolderRemoved(L"/unknown");
    journal.FolderRemoved(L"/b");
    EXPECT_TRUE(store.journals.empty()) << "removed with its last change";
    journal.FolderMade(L"/c");
  }
  EXPECT_EQ(store.journals.size(), 1u) << "a change not undone outlives the run";
  EXPECT_FALSE(store.held);
}

TEST(RepairJournalTest, AnUnusableStoreKeepsNothingAndStopsNothing) {
  FakeJournalStore store;
  store.unusable = true;
  RepairJournal journal(store);
  journal.FolderMade(L"/a");
  journal.HiveMounting(L"S-1", L"user");
  EXPECT_TRUE(store.journals.empty());
  EXPECT_EQ(journal.Contents().folders.size(), 1u) << "the run still knows what it did";
  testing::NoUserRegistry users;
  platform::host::HostFileTree files;
  EXPECT_EQ(RepairDeadRuns(journal, users, files), 0);
}

/// Two runs of the program and the machine they share: the hives of a simulated machine and
/// one journal store, each run with its own identity.
class DeadRunRepairTest : public ::testing::Test {
 protected:
  DeadRunRepairTest() {
    temp.Change([](MachineDescription& d) {
      d.users[0].interactive = false;
      sim::UserDescription user;
      user.name = "Second";
      user.sid = "S-1-5-21-1-2-3-1200";
      user.profileFolder = "Second";
      d.users.push_back(user);
    });
    RegistryHive first;
    first.AddKey(kAutoplayKey) = RegistryHive::Values{{"DisableAutoplay", 0u}};
    first.AddKey(kPoliciesKey) = RegistryHive::Values{{"NoDriveTypeAutoRun", 0x91u}};
    EXPECT_TRUE(first.Save(HiveFile("Kestrel")));
    RegistryHive second;
    second.AddKey(kAutoplayKey);  // DisableAutoplay absent
    second.AddKey(kPoliciesKey) = RegistryHive::Values{
        {"NoDriveTypeAutoRun", RegistryHive::TypedBytes{3, {0x91, 0x00, 0x00}}}};  // binary
    EXPECT_TRUE(second.Save(HiveFile("Second")));
    before = Hives();
  }

  fs::path HiveFile(const std::string& profileFolder) {
    return temp.folder() / "users" / profileFolder / "ntuser.dat";
  }
  std::map<std::string, std::string> Hives() {
    std::map<std::string, std::string> hives;
    for (const char* user : {"Kestrel", "Second"}) {
      hives[user] = sim::testing::ReadFile(HiveFile(user));
    }
    return hives;
  }
  size_t MountedHives() { return temp.Read().loadedHives.size(); }
  /// A run that switches autoplay off for every logged-on user and then dies, as a kill
  /// leaves it: nothing restored, its journal kept.
  void RunThatDies(ProcessIdentity who) {
    store.self = who;
    RepairJournal journal(store);
    sim::SimUserRegistry registry(temp.machine());
    UserHiveList users(registry, &journal);
    users.AddLoggedOnUsers();
    ASSERT_EQ(users.entries().size(), 2u);
  }  // nothing restored: the journal stays, as a killed process leaves it

  sim::testing::TemporaryMachine temp;
  FakeJournalStore store;
  platform::host::HostFileTree files;
  std::map<std::string, std::string> before;
};

TEST_F(DeadRunRepairTest, TheNextStartPutsBackEveryValueADeadRunSwitchedOff) {
  RunThatDies({1, 10});
  EXPECT_NE(Hives(), before);
  store.self = {2, 20};
  RepairJournal next(store);
  sim::SimUserRegistry registry(temp.machine());
  EXPECT_EQ(RepairDeadRuns(next, registry, files), 1);
  EXPECT_EQ(Hives(), before) << "byte for byte";
  EXPECT_EQ(MountedHives(), 0u);
  EXPECT_TRUE(store.journals.empty());
  EXPECT_EQ(RepairDeadRuns(next, registry, files), 0) << "and only once";
}

TEST_F(DeadRunRepairTest, AHiveADeadRunLeftMountedIsUnmountedAfterItsValuesAreBack) {
  temp.Change([](MachineDescription& d) { d.faults.unloadHiveFailures = 4; });
  RunThatDies({1, 10});
  EXPECT_EQ(MountedHives(), 2u) << "both unloads failed twice";
  store.self = {2, 20};
  RepairJournal next(store);
  sim::SimUserRegistry registry(temp.machine());
  EXPECT_EQ(RepairDeadRuns(next, registry, files), 1);
  EXPECT_EQ(MountedHives(), 0u);
  EXPECT_EQ(Hives(), before);
  EXPECT_TRUE(store.journals.empty());
}

TEST_F(DeadRunRepairTest, WhatCannotBeUndoneYetWaitsForTheNextStart) {
  RunThatDies({1, 10});
  temp.Change([](MachineDescription& d) { d.restorePrivilegeHeld = false; });
  store.self = {2, 20};
  {
    RepairJournal next(store);
    sim::SimUserRegistry registry(temp.machine());
    EXPECT_EQ(RepairDeadRuns(next, registry, files), 1);
  }
  ASSERT_EQ(store.journals.count(JournalName({1, 10})), 1u) << "no hive could be mounted";
  JournalContents left;
  ASSERT_TRUE(ParseJournal(store.journals[JournalName({1, 10})], left));
  EXPECT_EQ(left.hives.size(), 2u);

  temp.Change([](MachineDescription& d) { d.restorePrivilegeHeld = true; });
  store.self = {3, 30};
  RepairJournal later(store);
  sim::SimUserRegistry registry(temp.machine());
  EXPECT_EQ(RepairDeadRuns(later, registry, files), 1);
  EXPECT_EQ(Hives(), before);
  EXPECT_TRUE(store.journals.empty());
}

TEST_F(DeadRunRepairTest, AJournalOfALiveRunIsLeftAlone) {
  RunThatDies({1, 10});
  const auto changed = Hives();
  store.live.push_back({1, 10});
  store.self = {2, 20};
  RepairJournal next(store);
  sim::SimUserRegistry registry(temp.machine());
  EXPECT_EQ(RepairDeadRuns(next, registry, files), 0);
  EXPECT_EQ(Hives(), changed);
  EXPECT_EQ(store.journals.size(), 1u);
  store.live.clear();
  store.live.push_back({1, 11});  // the same id, started later: another process
  EXPECT_EQ(RepairDeadRuns(next, registry, files), 1);
  EXPECT_EQ(Hives(), before);
}

TEST_F(DeadRunRepairTest, FoldersAreRemovedButALinkInTheirPlaceIsNotFollowed) {
  testing::TempFolder place;
  const fs::path made = place.path() / "run-1";
  fs::create_directories(made / "sub");
  std::ofstream(made / "sub" / "tool.exe") << "x";
  const fs::path users = place.path() / "users-files";
  fs::create_directories(users);
  std::ofstream(users / "photo.jpg") << "keep";
  const fs::path linked = place.path() / "tempCompareFiles";
  fs::create_directory_symlink(users, linked);

  store.self = {1, 10};
  {
    RepairJournal dead(store);
    dead.FolderMade(Wide(made));
    dead.FolderMade(Wide(linked));
    dead.FolderMade(Wide(place.path() / "never-made"));
  }  // the run dies with its folders in place

  store.self = {2, 20};
  RepairJournal next(store);
  testing::NoUserRegistry registry;
  EXPECT_EQ(RepairDeadRuns(next, registry, files), 1);
  EXPECT_FALSE(fs::exists(made));
  EXPECT_TRUE(fs::is_symlink(linked)) << "not what the run made";
  EXPECT_EQ(sim::testing::ReadFile(users / "photo.jpg"), "keep");
  EXPECT_TRUE(store.journals.empty());
}

TEST_F(DeadRunRepairTest, TwoLiveRunsNeverUndoEachOthersChangeWhicheverEndsFirst) {
  for (const bool firstEndsFirst : {true, false}) {
    SCOPED_TRACE(firstEndsFirst ? "the first run ends first" : "the second run ends first");
    sim::SimUserRegistry registryA(temp.machine()), registryB(temp.machine());
    store.self = {1, 10};
    RepairJournal journalA(store);
    store.self = {2, 20};
    RepairJournal journalB(store);

    store.self = {1, 10};
    store.live = {{2, 20}};
    UserHiveList a(registryA, &journalA);
    a.AddLoggedOnUsers();
    store.self = {2, 20};
    store.live = {{1, 10}};
    UserHiveList b(registryB, &journalB);
    b.AddLoggedOnUsers();  // reads the values the first run wrote
    const auto bothRunning = Hives();

    const auto end = [&](UserHiveList& list, ProcessIdentity who, ProcessIdentity other,
                         bool otherStillRuns) {
      store.self = who;
      store.live.clear();
      if (otherStillRuns) store.live.push_back(other);
      list.RestoreAll();
    };
    if (firstEndsFirst) {
      end(a, {1, 10}, {2, 20}, true);
      EXPECT_EQ(Hives(), bothRunning) << "the second run's change stays while it runs";
      end(b, {2, 20}, {1, 10}, false);
    } else {
      end(b, {2, 20}, {1, 10}, true);
      EXPECT_EQ(Hives(), bothRunning) << "the first run's change stays while it runs";
      end(a, {1, 10}, {2, 20}, false);
    }
    EXPECT_EQ(Hives(), before) << "the values from before either run";
    EXPECT_EQ(MountedHives(), 0u);
    EXPECT_TRUE(store.journals.empty());
  }
}

}  // namespace
}  // namespace kestrune
