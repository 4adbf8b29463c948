#include "sim/sim_user_registry.h"

#include <gtest/gtest.h>

#include "platform/native_path.h"
#include "sim/default_machine.h"
#include "sim/sim_test_support.h"

namespace kestrune::sim {
namespace {

namespace err = platform::win32error;
using testing::TemporaryMachine;

const wchar_t* kAutoplayKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\";
const wchar_t* kPoliciesKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\";

class UserRegistryTest : public ::testing::Test {
 protected:
  // The default machine's user sits at the console; here Kestrel is logged on elsewhere, so
  // the hive file is free to mount unless a test says otherwise.
  UserRegistryTest() {
    temp.Change([](MachineDescription& d) { d.users[0].interactive = false; });
  }
  std::wstring HiveOf(const std::wstring& user) {
    std::wstring profile;
    EXPECT_TRUE(users.GetProfileFolder(profile));
    return platform::FromNativePath(platform::ToNativePath(profile).parent_path() /
                                    platform::ToNativePath(user) / "ntuser.dat");
  }
  std::wstring SidOf(const std::wstring& user) {
    std::vector<uint8_t> sid;
    std::wstring text;
    EXPECT_EQ(users.LookupAccountSid(user, sid), err::kSuccess);
    EXPECT_EQ(users.SidToString(sid, text), err::kSuccess);
    return text;
  }

  TemporaryMachine temp;
  SimUserRegistry users{temp.machine()};
};

TEST_F(UserRegistryTest, EnumerationComesInBatchesAndListsEachSession) {
  temp.Change([](MachineDescription& d) {
    UserDescription second;
    second.name = "Merlin";
    second.sid = "S-1-5-21-1-2-3-1002";
    second.sessions = 2;
    d.users.push_back(second);
    d.userEnumerationBatch = 2;
  });
  std::vector<std::wstring> names;
  uint32_t resume = 0;
  EXPECT_EQ(users.EnumerateLoggedOnUsers(names, resume), err::kMoreData);
  EXPECT_EQ(users.EnumerateLoggedOnUsers(names, resume), err::kSuccess);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Kestrel", L"Merlin", L"Merlin"}));

  temp.Change([](MachineDescription& d) { d.faults.userEnumeration = 5; });
  EXPECT_EQ(users.EnumerateLoggedOnUsers(names, resume), 5u);
}

TEST_F(UserRegistryTest, SidsRoundTripAndUnknownAccountsAreNotMapped) {
  EXPECT_EQ(SidOf(L"kestrel"), L"S-1-5-21-3623811015-3361044348-30300820-1001");
  std::vector<uint8_t> sid;
  EXPECT_EQ(users.LookupAccountSid(L"Nobody", sid), err::kNoneMapped);
  EXPECT_TRUE(SidFromText("S-1-5-x").empty());
  EXPECT_EQ(SidText(SidFromText("S-1-5-18")), "S-1-5-18");
}

TEST_F(UserRegistryTest, MountingNeedsTheRestorePrivilegeAndAFreeHive) {
  const std::wstring sid = SidOf(L"Kestrel");
  EXPECT_EQ(users.LoadHive(sid, HiveOf(L"Kestrel")), err::kPrivilegeNotHeld);
  ASSERT_EQ(users.EnableRestorePrivilege(true), err::kSuccess);
  EXPECT_EQ(users.LoadHive(sid, HiveOf(L"Nobody")), err::kFileNotFound);
  ASSERT_EQ(users.LoadHive(sid, HiveOf(L"Kestrel")), err::kSuccess);
  EXPECT_EQ(users.LoadHive(L"S-1-5-21-9", HiveOf(L"Kestrel")), err::kSharingViolation)
      << "mounted once only";
  ASSERT_EQ(users.UnloadHive(sid), err::kSuccess);

  temp.Change([](MachineDescription& d) { d.users[0].interactive = true; });
  EXPECT_EQ(users.LoadHive(sid, HiveOf(L"Kestrel")), err::kSharingViolation);

  temp.Change([](MachineDescription& d) { d.restorePrivilegeHeld = false; });
  SimUserRegistry unprivileged(temp.machine());
  EXPECT_EQ(unprivileged.EnableRestorePrivilege(true), err::kNotAllAssigned);
  EXPECT_EQ(unprivileged.LoadHive(sid, HiveOf(L"Kestrel")), err::kPrivilegeNotHeld);
}

TEST_F(UserRegistryTest, ConsoleUsersHiveIsLoadedBySystemBelowTheSid) {
  const std::wstring sid = SidOf(L"Kestrel");
  UserDescription other;
  other.name = other.profileFolder = "Merlin";
  other.sid = "S-1-5-21-1-2-3-1002";
  ASSERT_TRUE(WriteDefaultHive(temp.machine(), other));
  temp.Change([&other](MachineDescription& d) {
    d.users[0].interactive = true;
    d.users.push_back(other);
  });
  std::unique_ptr<platform::RegistryKey> key;
  EXPECT_EQ(users.OpenUserKey(sid, L"", key), err::kSuccess) << "the hive's root";
  EXPECT_EQ(users.OpenUserKey(sid, L"software\\", key), err::kSuccess) << "a key above";
  EXPECT_EQ(users.OpenUserKey(sid, L"Soft", key), err::kFileNotFound);
  ASSERT_EQ(users.EnableRestorePrivilege(true), err::kSuccess);
  EXPECT_EQ(users.LoadHive(sid, HiveOf(L"Merlin")), err::kSharingViolation) << "SID in use";
  EXPECT_EQ(users.LoadHive(L"S-1-5-21-9", HiveOf(L"Kestrel")), err::kSharingViolation);
  key.reset();
  EXPECT_EQ(users.UnloadHive(sid), err::kAccessDenied) << "the system's mount is not ours";
  EXPECT_EQ(users.OpenUserKey(sid, L"", key), err::kSuccess);
  key.reset();

  temp.Change([](MachineDescription& d) { d.users[0].interactive = false; });  // logs off
  EXPECT_EQ(users.OpenUserKey(sid, L"", key), err::kFileNotFound);
  EXPECT_EQ(users.LoadHive(sid, HiveOf(L"Kestrel")), err::kSuccess);
  EXPECT_EQ(users.UnloadHive(sid), err::kSuccess);
}

TEST_F(UserRegistryTest, DeniedKeysCannotBeOpenedAndOlderDescriptionsHaveNone) {
  temp.Change([](MachineDescription& d) {
    d.users[0].interactive = true;
    d.users[0].deniedKeys = {"software\\microsoft\\windows\\currentversion\\policies\\explorer"};
  });
  std::unique_ptr<platform::RegistryKey> key;
  EXPECT_EQ(users.OpenUserKey(SidOf(L"Kestrel"), kPoliciesKey, key), err::kAccessDenied);
  EXPECT_EQ(users.OpenUserKey(SidOf(L"Kestrel"), kAutoplayKey, key), err::kSuccess);

  MachineDescription old;
  std::string error;
  ASSERT_TRUE(
      ParseMachineDescription(R"({"users": [{"name": "A", "sid": "S-1-5-18"}]})", old, error))
      << error;
  EXPECT_TRUE(old.users.at(0).deniedKeys.empty());
}

TEST_F(UserRegistryTest, DwordValuesLiveInTheHiveFile) {
  const std::wstring sid = SidOf(L"Kestrel");
  ASSERT_EQ(users.EnableRestorePrivilege(true), err::kSuccess);
  std::unique_ptr<platform::RegistryKey> key;
  EXPECT_EQ(users.OpenUserKey(sid, kAutoplayKey, key), err::kFileNotFound) << "not mounted";
  ASSERT_EQ(users.LoadHive(sid, HiveOf(L"Kestrel")), err::kSuccess);
  EXPECT_EQ(users.OpenUserKey(sid, L"Software\\Missing\\", key), err::kFileNotFound)
      << "keys are never created";

  ASSERT_EQ(users.OpenUserKey(sid, kPoliciesKey, key), err::kSuccess);
  uint32_t value = 0;
  ASSERT_EQ(key->ReadDword(L"NoDriveTypeAutoRun", value), err::kSuccess);
  EXPECT_EQ(value, 0x91u);
  EXPECT_EQ(key->WriteDword(L"NoDriveTypeAutoRun", 0xFF), err::kSuccess);
  ASSERT_EQ(users.OpenUserKey(sid, kAutoplayKey, key), err::kSuccess);
  EXPECT_EQ(key->ReadDword(L"DisableAutoplay", value), err::kFileNotFound);
  EXPECT_EQ(key->WriteDword(L"DisableAutoplay", 1), err::kSuccess);
  EXPECT_EQ(users.UnloadHive(sid), err::kAccessDenied) << "not while a key of the hive is open";
  // Another process does not hold this one's keys: its unmount takes the key's hive away.
  SimUserRegistry other(temp.machine());
  ASSERT_EQ(other.EnableRestorePrivilege(true), err::kSuccess);
  ASSERT_EQ(other.UnloadHive(sid), err::kSuccess);
  EXPECT_EQ(key->ReadDword(L"DisableAutoplay", value), 1018u) << "the key went with its hive";
  key.reset();

  // Another mount, as a second process would make it, sees the values.
  ASSERT_EQ(other.LoadHive(sid, HiveOf(L"Kestrel")), err::kSuccess);
  ASSERT_EQ(other.OpenUserKey(sid, kAutoplayKey, key), err::kSuccess);
  ASSERT_EQ(key->ReadDword(L"disableautoplay", value), err::kSuccess);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(key->DeleteValue(L"DisableAutoplay"), err::kSuccess);
  EXPECT_EQ(key->DeleteValue(L"DisableAutoplay"), err::kFileNotFound);
  key.reset();
  EXPECT_EQ(other.UnloadHive(sid), err::kSuccess);
}

TEST_F(UserRegistryTest, ValuesOfAnyTypeKeepTheirExactBytes) {
  const std::wstring sid = SidOf(L"Kestrel");
  ASSERT_EQ(users.EnableRestorePrivilege(true), err::kSuccess);
  ASSERT_EQ(users.LoadHive(sid, HiveOf(L"Kestrel")), err::kSuccess);
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(users.OpenUserKey(sid, kPoliciesKey, key), err::kSuccess);
  namespace type = platform::regtype;
  uint32_t kind = 0;
  std::vector<uint8_t> bytes;
  ASSERT_EQ(key->ReadValue(L"NoDriveTypeAutoRun", kind, bytes), err::kSuccess);
  EXPECT_EQ(kind, type::kDword);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x91, 0, 0, 0}));
  EXPECT_EQ(key->ReadValue(L"Missing", kind, bytes), err::kFileNotFound);

  const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values{
      {type::kString, {'9', 0, '1', 0, 0, 0}},  // a text, as REG_SZ holds it
      {type::kString, {'9', 0, '1', 0}},        // without its terminator
      {type::kBinary, {0x00, 0xff, 0x91}},      //
      {type::kDword, {1, 2, 3}},                // a DWORD of the wrong length
      {type::kExpandString, {'%', 0, 0, 0}},    //
      {type::kNone, {}}};
  for (const auto& [written, data] : values) {
    ASSERT_EQ(key->WriteValue(L"NoDriveTypeAutoRun", written, data), err::kSuccess);
    ASSERT_EQ(key->ReadValue(L"noDriveTypeAutoRun", kind, bytes), err::kSuccess);
    EXPECT_EQ(kind, written);
    EXPECT_EQ(bytes, data);
    uint32_t number = 0;
    EXPECT_EQ(key->ReadDword(L"NoDriveTypeAutoRun", number), err::kUnsupportedType);
  }
  ASSERT_EQ(key->WriteValue(L"NoDriveTypeAutoRun", type::kDword, {0x91, 0, 0, 0}), err::kSuccess);
  key.reset();
  ASSERT_EQ(users.UnloadHive(sid), err::kSuccess);
}

}  // namespace
}  // namespace kestrune::sim
