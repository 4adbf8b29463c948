// Autoplay suppression across the users of a simulated machine: what is switched off, who is
// left alone, and that every hive is exactly as before once the values are restored.
#include "app/autoplay.h"

#include <gtest/gtest.h>

#include <map>

#include "sim/registry_hive.h"
#include "sim/sim_test_support.h"
#include "sim/sim_user_registry.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using sim::MachineDescription;
using sim::RegistryHive;

constexpr const char* kAutoplayKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";
constexpr const char* kPoliciesKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

class AutoplayTest : public ::testing::Test {
 protected:
  // The default machine's user sits at the console; here Kestrel is logged on elsewhere, so
  // the hive file is mounted unless a test says otherwise.
  AutoplayTest() {
    temp.Change([](MachineDescription& d) { d.users[0].interactive = false; });
  }
  /// Adds a logged-on user whose hive holds `autoplay` and `policies` (a key is missing when
  /// its optional is empty).
  void AddUser(const std::string& name, const std::string& profileFolder,
               std::optional<RegistryHive::Values> autoplay,
               std::optional<RegistryHive::Values> policies, uint32_t sessions = 1) {
    static int number = 1100;
    temp.Change([&](MachineDescription& d) {
      sim::UserDescription user;
      user.name = name;
      user.sid = "S-1-5-21-1-2-3-" + std::to_string(number++);
      user.profileFolder = profileFolder;
      user.sessions = sessions;
      d.users.push_back(user);
    });
    RegistryHive hive;
    hive.AddKey("Software\\Kestrune");
    if (autoplay) hive.AddKey(kAutoplayKey) = *autoplay;
    if (policies) hive.AddKey(kPoliciesKey) = *policies;
    ASSERT_TRUE(hive.Save(HiveFile(profileFolder)));
  }
  fs::path HiveFile(const std::string& profileFolder) {
    return temp.folder() / "users" / profileFolder / "ntuser.dat";
  }
  /// The bytes of every hive file, by profile folder.
  std::map<std::string, std::string> Hives() {
    std::map<std::string, std::string> hives;
    for (const auto& user : temp.Read().users) {
      hives[user.profileFolder] = sim::testing::ReadFile(HiveFile(user.profileFolder));
    }
    return hives;
  }
  RegistryHive::Values Values(const std::string& profileFolder, const char* key) {
    RegistryHive hive;
    EXPECT_TRUE(hive.Load(HiveFile(profileFolder)));
    const auto* values = hive.FindKey(key);
    return values ? *values : RegistryHive::Values{};
  }
  std::vector<std::wstring> Recorded() {
    std::vector<std::wstring> names;
    for (const auto& entry : users.entries()) names.push_back(entry.userName.str());
    return names;
  }

  sim::testing::TemporaryMachine temp;
  sim::SimUserRegistry registry{temp.machine()};
  UserHiveList users{registry};
};

TEST_F(AutoplayTest, SwitchedOffForEveryLoggedOnUserAndRestoredByteForByte) {
  // Kestrel (the default user): no DisableAutoplay, NoDriveTypeAutoRun 0x91.
  AddUser("Merlin", "Merlin", RegistryHive::Values{{"DisableAutoplay", 0u}}, std::nullopt, 2);
  AddUser("Wren", "Wren",
          RegistryHive::Values{{"DisableAutoplay", RegistryHive::TypedBytes{3, {0x01, 0xfe}}}},
          RegistryHive::Values{{"NoDriveTypeAutoRun", std::string("0x91")}});
  AddUser("Finch", "Finch.KESTRUNE", RegistryHive::Values{}, RegistryHive::Values{});
  AddUser("Ghost", "Ghost", std::nullopt, std::nullopt);
  temp.Change([](MachineDescription& d) { d.userEnumerationBatch = 2; });
  const auto before = Hives();

  users.AddLoggedOnUsers();
  users.AddUser(L"MERLIN");
  EXPECT_EQ(Recorded(), (std::vector<std::wstring>{L"Kestrel", L"Merlin", L"Wren", L"Ghost"}))
      << "Merlin once for two sessions; Finch's profile folder is not his name; Ghost has "
         "neither key but is recorded";
  for (const char* user : {"Kestrel", "Merlin", "Wren"}) {
    EXPECT_EQ(Values(user, kAutoplayKey).at("DisableAutoplay"), RegistryHive::Value(1u)) << user;
  }
  EXPECT_EQ(Values("Kestrel", kPoliciesKey).at("NoDriveTypeAutoRun"), RegistryHive::Value(0xFFu));
  EXPECT_EQ(Values("Wren", kPoliciesKey).at("NoDriveTypeAutoRun"), RegistryHive::Value(0xFFu));
  EXPECT_EQ(Values("Merlin", kPoliciesKey).count("NoDriveTypeAutoRun"), 0u) << "no key: skipped";
  const auto during = Hives();
  for (const char* untouched : {"Finch.KESTRUNE", "Ghost"}) {
    EXPECT_EQ(during.at(untouched), before.at(untouched)) << untouched;
  }
  EXPECT_TRUE(temp.Read().loadedHives.empty()) << "no hive stays mounted while the wizard runs";
  EXPECT_FALSE(registry.RestorePrivilegeEnabled());

  users.RestoreAll();
  EXPECT_EQ(Hives(), before) << "values of other types come back with their type and bytes";
  EXPECT_TRUE(users.entries().empty());
  EXPECT_TRUE(temp.Read().loadedHives.empty());
  EXPECT_FALSE(registry.RestorePrivilegeEnabled());
}

TEST_F(AutoplayTest, ConsoleUsersHiveIsSwitchedWhereTheSystemHoldsItAndRestoredExactly) {
  // Wren is at the console: the system holds his hive, so its file cannot be mounted.
  AddUser("Wren", "Wren",
          RegistryHive::Values{{"DisableAutoplay", RegistryHive::TypedBytes{3, {0x01, 0xfe}}}},
          RegistryHive::Values{{"Other", 7u}});
  temp.Change([](MachineDescription& d) { d.users.back().interactive = true; });
  const auto before = Hives();

  users.AddUser(L"Wren");
  ASSERT_EQ(Recorded(), std::vector<std::wstring>{L"Wren"});
  EXPECT_EQ(users.entries()[0].hive, HiveMount::kLoadedBySystem);
  EXPECT_EQ(Values("Wren", kAutoplayKey).at("DisableAutoplay"), RegistryHive::Value(1u));
  EXPECT_EQ(Values("Wren", kPoliciesKey).at("NoDriveTypeAutoRun"), RegistryHive::Value(0xFFu));
  users.RestoreAll();
  EXPECT_EQ(Hives(), before) << "REG_BINARY back with its bytes, the created value deleted";
  EXPECT_TRUE(temp.Read().loadedHives.empty());

  // Wren logs off during the run: the system unloads the hive, the restore mounts its file.
  users.AddUser(L"Wren");
  temp.Change([](MachineDescription& d) { d.users.back().interactive = false; });
  users.RestoreAll();
  EXPECT_EQ(Hives(), before);
  EXPECT_TRUE(temp.Read().loadedHives.empty());
}

TEST_F(AutoplayTest, WithoutTheRestorePrivilegeOnlyHivesTheSystemHoldsAreSwitched) {
  AddUser("Merlin", "Merlin", RegistryHive::Values{}, RegistryHive::Values{});
  AddUser("Wren", "Wren.KESTRUNE", RegistryHive::Values{}, RegistryHive::Values{});
  temp.Change([](MachineDescription& d) {
    d.restorePrivilegeHeld = false;
    d.users.back().interactive = true;
  });
  const auto before = Hives();
  users.AddLoggedOnUsers();
  EXPECT_EQ(Recorded(), std::vector<std::wstring>{L"Wren"})
      << "the other hives must be mounted; Wren's needs neither a mount nor his hive file's name";
  EXPECT_EQ(Values("Wren.KESTRUNE", kAutoplayKey).at("DisableAutoplay"), RegistryHive::Value(1u));
  users.RestoreAll();
  EXPECT_EQ(Hives(), before);

  temp.Change([](MachineDescription& d) {
    d.restorePrivilegeHeld = true;
    d.faults.userEnumeration = 5;
  });
  users.AddLoggedOnUsers();
  EXPECT_TRUE(users.entries().empty());
  users.AddUser(L"Nobody");
  users.AddUser(L"..");
  EXPECT_TRUE(users.entries().empty()) << "unknown accounts and names that are no folder";
  EXPECT_EQ(Hives(), before);
}

TEST_F(AutoplayTest, UnreadableValuesAreNeitherChangedNorRestored) {
  AddUser("Merlin", "Merlin", RegistryHive::Values{{"DisableAutoplay", 0u}},
          RegistryHive::Values{{"NoDriveTypeAutoRun", std::string("0x91")}});
  AddUser("Wren", "Wren", RegistryHive::Values{{"DisableAutoplay", 0u}}, std::nullopt);
  temp.Change([](MachineDescription& d) {
    d.users[1].deniedKeys = {kPoliciesKey};  // a mounted hive
    d.users[2].deniedKeys = {kAutoplayKey};  // the console user's
    d.users[2].interactive = true;
  });
  const auto before = Hives();
  users.AddLoggedOnUsers();
  ASSERT_EQ(users.entries().size(), 3u);
  EXPECT_EQ(users.entries()[1].noAutoRun.state, SavedValueState::kUnreadable);
  EXPECT_EQ(users.entries()[2].autoplay.state, SavedValueState::kUnreadable);
  EXPECT_EQ(users.entries()[2].noAutoRun.state, SavedValueState::kUntouched) << "no key";
  EXPECT_EQ(Values("Merlin", kAutoplayKey).at("DisableAutoplay"), RegistryHive::Value(1u));
  EXPECT_EQ(Values("Merlin", kPoliciesKey).at("NoDriveTypeAutoRun"),
            RegistryHive::Value(std::string("0x91")));
  EXPECT_EQ(Values("Wren", kAutoplayKey).at("DisableAutoplay"), RegistryHive::Value(0u));

  // The keys open by the time of the restore: still nothing to put back in them.
  temp.Change([](MachineDescription& d) {
    for (auto& user : d.users) user.deniedKeys.clear();
  });
  users.RestoreAll();
  EXPECT_EQ(Hives(), before);
}

TEST_F(AutoplayTest, UserWhoLogsOnMeanwhileIsRestoredInTheSystemsMount) {
  AddUser("Merlin", "Merlin", RegistryHive::Values{}, RegistryHive::Values{{"Other", 7u}});
  const auto before = Hives();
  users.AddLoggedOnUsers();
  ASSERT_EQ(users.entries().size(), 2u);
  temp.Change([](MachineDescription& d) { d.users[1].interactive = true; });
  users.RestoreAll();
  EXPECT_EQ(Hives(), before);
  EXPECT_TRUE(temp.Read().loadedHives.empty()) << "the system's own mount is not ours to undo";
}

TEST_F(AutoplayTest, FailedUnmountIsRetriedAndAHiveLeftMountedIsUnmountedAtRestore) {
  const auto before = Hives();
  temp.Change([](MachineDescription& d) { d.faults.unloadHiveFailures = 1; });
  users.AddUser(L"Kestrel");
  EXPECT_TRUE(temp.Read().loadedHives.empty()) << "the second try unmounted it";
  users.RestoreAll();
  EXPECT_EQ(Hives(), before);

  temp.Change([](MachineDescription& d) { d.faults.unloadHiveFailures = 2; });
  users.AddUser(L"Kestrel");
  ASSERT_EQ(users.entries().size(), 1u);
  EXPECT_TRUE(users.entries()[0].hiveLeftMounted);
  EXPECT_EQ(temp.Read().loadedHives.size(), 1u);
  users.RestoreAll();
  EXPECT_EQ(Hives(), before);
  EXPECT_TRUE(temp.Read().loadedHives.empty());
}

}  // namespace
}  // namespace kestrune
