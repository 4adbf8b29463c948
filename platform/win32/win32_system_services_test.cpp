// The Windows services that wine has: WMI, the device tree, users and their hives, volumes and
// the version check. Where wine lacks a piece, the test's name says so and checks the answer.
#include "platform/win32/windows_support.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>

#include "devices/usb_disks.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_disk_inventory.h"
#include "platform/win32/win32_user_registry.h"
#include "platform/win32/win32_volume_info.h"

namespace kestrune::platform::win32 {
namespace {

namespace fs = std::filesystem;

fs::path TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, length)).parent_path();
}

class ComApartment {
 public:
  ComApartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComApartment() { CoUninitialize(); }
};

bool IsDecimal(const std::wstring& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// ---------------------------------------------------------------------------------------------
// WMI

// Wine reports its drives as IDE disks and has no Caption property; it writes the backslashes
// of DeviceID doubled.
TEST(Win32DiskInventoryTest, QueriesTheFourClassesAndReadsTheirProperties) {
  ComApartment apartment;
  Win32DiskInventory inventory;
  std::vector<std::unique_ptr<InventoryObject>> objects;
  EXPECT_EQ(inventory.ExecQuery(L"SELECT * FROM Win32_DiskDrive", objects), kE_FAIL)
      << "a query before the connection must fail";

  for (int call = 0; call < 2; ++call) {
    const HResult security = inventory.InitializeSecurity();
    EXPECT_TRUE(security == kS_OK || security == wmi::kRPC_E_TOO_LATE) << std::hex << security;
  }
  ASSERT_EQ(inventory.Connect(), kS_OK);

  ASSERT_EQ(inventory.ExecQuery(L"SELECT * FROM Win32_DiskDrive", objects), kS_OK);
  ASSERT_FALSE(objects.empty()) << "wine reports its drives as disks";
  for (const auto& disk : objects) {
    std::wstring value;
    for (const wchar_t* name : {L"InterfaceType", L"MediaType", L"PNPDeviceID"}) {
      EXPECT_EQ(disk->Get(name, value), kS_OK) << name;
      EXPECT_FALSE(value.empty()) << name;
    }
    const HResult caption = disk->Get(L"Caption", value);
    EXPECT_TRUE(caption == kS_OK || caption == wmi::kE_NOT_FOUND) << std::hex << caption;
    ASSERT_EQ(disk->Get(L"Size", value), kS_OK);
    EXPECT_TRUE(value.empty() || IsDecimal(value)) << "Size reads as decimal text";
    ASSERT_EQ(disk->Get(L"DeviceID", value), kS_OK);
    EXPECT_NE(value.find(L"PHYSICALDRIVE"), std::wstring::npos);
    EXPECT_EQ(disk->Get(L"NoSuchProperty", value), wmi::kE_NOT_FOUND);
  }

  // Associations read as object paths, with the key after "=" in quotes.
  for (const wchar_t* association :
       {L"Win32_DiskDriveToDiskPartition", L"Win32_LogicalDiskToPartition"}) {
    std::vector<std::unique_ptr<InventoryObject>> links;
    ASSERT_EQ(inventory.ExecQuery(std::wstring(L"SELECT * FROM ") + association, links), kS_OK);
    EXPECT_FALSE(links.empty()) << association;
    for (const auto& link : links) {
      for (const wchar_t* end : {L"Antecedent", L"Dependent"}) {
        std::wstring path;
        ASSERT_EQ(link->Get(end, path), kS_OK);
        const auto equals = path.find(L'=');
        ASSERT_NE(equals, std::wstring::npos) << association;
        EXPECT_EQ(path[equals + 1], L'"');
        EXPECT_EQ(path.back(), L'"');
      }
    }
  }
  std::vector<std::unique_ptr<InventoryObject>> partitions;
  ASSERT_EQ(inventory.ExecQuery(L"SELECT * FROM Win32_DiskPartition", partitions), kS_OK);
  for (const auto& partition : partitions) {
    std::wstring id, type;
    EXPECT_EQ(partition->Get(L"DeviceID", id), kS_OK);
    EXPECT_EQ(id.rfind(L"Disk #", 0), 0u);
    EXPECT_EQ(partition->Get(L"Type", type), kS_OK);
  }
}

// Wine answers a query of a class it does not know with an empty result rather than an error;
// either way nothing is appended.
TEST(Win32DiskInventoryTest, QueryOfAnUnknownClassAppendsNothing) {
  ComApartment apartment;
  Win32DiskInventory inventory;
  ASSERT_EQ(inventory.Connect(), kS_OK);
  std::vector<std::unique_ptr<InventoryObject>> objects;
  static_cast<void>(inventory.ExecQuery(L"SELECT * FROM Kestrune_NoSuchClass", objects));
  EXPECT_TRUE(objects.empty());
}

// The enumeration of the Drive page over the real inventory and device tree: wine's disks are
// IDE disks, so none qualifies, and nothing on the way fails.
TEST(Win32DiskInventoryTest, UsbEnumerationOverWmiFindsNoUsbDiskInWine) {
  ComApartment apartment;
  Win32DiskInventory inventory;
  Win32DeviceTree tree;
  std::vector<CVantorEnumUSBDetail> disks;
  EnumUSBDisks(inventory, tree, disks);
  EXPECT_TRUE(disks.empty());
}

// ---------------------------------------------------------------------------------------------
// Device tree

// Wine gives every present device its instance id but keeps no parents and no container ids:
// those calls fail with a configuration-manager code and leave the outputs alone.
TEST(Win32DeviceTreeTest, PresentDevicesHaveIdsWhileParentsAndContainersMayBeRefused) {
  Win32DeviceTree tree;
  std::vector<DeviceNode> devices;
  ASSERT_TRUE(tree.ListPresentDevices(devices));
  ASSERT_FALSE(devices.empty());
  for (const DeviceNode device : devices) {
    std::wstring id;
    EXPECT_EQ(tree.GetDeviceInstanceId(device, id), cm::kCR_SUCCESS);
    EXPECT_NE(id.find(L'\\'), std::wstring::npos) << "an instance id names its enumerator";

    DeviceNode parent = 0xFFFFFFFF;
    if (tree.GetParent(device, parent) == cm::kCR_SUCCESS) {
      EXPECT_NE(parent, device);
    } else {
      EXPECT_EQ(parent, 0xFFFFFFFF);
    }
    std::wstring container = L"unchanged";
    if (tree.GetBaseContainerId(device, container) == cm::kCR_SUCCESS) {
      ASSERT_EQ(container.size(), 38u);
      EXPECT_EQ(container.front(), L'{');
      EXPECT_EQ(container.back(), L'}');
    } else {
      EXPECT_EQ(container, L"unchanged");
    }
  }
  std::wstring id;
  EXPECT_NE(tree.GetDeviceInstanceId(0x7FFFFFF0, id), cm::kCR_SUCCESS);
}

// ---------------------------------------------------------------------------------------------
// Users and hives

std::wstring CurrentUserName() {
  wchar_t name[256];
  DWORD size = 256;
  return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

// Wine refuses the workstation user enumeration (ERROR_INVALID_PARAMETER at level 0), which the
// wizard treats as no user to change; on Windows the user running the tests is listed.
TEST(Win32UserRegistryTest, LoggedOnUsersIncludeTheTestsUserOrWineRefuses) {
  Win32UserRegistry users;
  std::vector<std::wstring> names;
  uint32_t resume = 0, result = 0;
  for (int calls = 0; calls < 100; ++calls) {
    result = users.EnumerateLoggedOnUsers(names, resume);
    if (result != win32error::kMoreData) break;
  }
  const std::wstring me = CurrentUserName();
  ASSERT_FALSE(me.empty());
  if (result == win32error::kSuccess) {
    EXPECT_NE(std::find_if(names.begin(), names.end(),
                           [&](const std::wstring& name) {
                             return lstrcmpiW(name.c_str(), me.c_str()) == 0;
                           }),
              names.end());
  } else {
    EXPECT_EQ(result, win32error::kInvalidParameter);
    EXPECT_TRUE(names.empty());
  }
}

TEST(Win32UserRegistryTest, TheTestsUserHasASidAndAProfileFolder) {
  Win32UserRegistry users;
  const std::wstring me = CurrentUserName();
  ASSERT_FALSE(me.empty());

  std::vector<uint8_t> sid;
  ASSERT_EQ(users.LookupAccountSid(me, sid), win32error::kSuccess);
  std::wstring text;
  ASSERT_EQ(users.SidToString(sid, text), win32error::kSuccess);
  EXPECT_EQ(text.rfind(L"S-1-5-", 0), 0u) << text;
  EXPECT_EQ(users.LookupAccountSid(L"kestrune-no-such-account", sid), win32error::kNoneMapped);
  EXPECT_NE(users.SidToString({1, 2, 3}, text), win32error::kSuccess);

  std::wstring profile;
  ASSERT_TRUE(users.GetProfileFolder(profile));
  EXPECT_TRUE(fs::is_directory(profile)) << fs::path(profile).string();
}

// Saving a key to a hive file needs the backup privilege switched on.
void EnableBackupPrivilege() {
  windows::UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                               token.Receive()));
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid));
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  ASSERT_TRUE(AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
}

// A hive as the autoplay suppression handles one: saved to a file, mounted below HKEY_USERS,
// its autoplay value changed and put back, unmounted, and the change found in the file.
class Win32HiveTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kSource = L"Software\\KestruneHiveTest";
  static constexpr const wchar_t* kMount = L"KestruneHiveTest-S-1-5-21-1-2-3-1001";
  static constexpr const wchar_t* kPolicies =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\";

  void SetUp() override {
    hiveFile_ = TestFolder() / L"kestrune-test-ntuser.dat";
    std::error_code error;
    fs::remove(hiveFile_, error);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSource);
    windows::UniqueRegistryKey source, policies;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSource, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              source.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(source.get(),
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, policies.Receive(), nullptr),
              ERROR_SUCCESS);
    const DWORD old = 0x91;
    RegSetValueExW(policies.get(), L"NoDriveTypeAutoRun", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&old), sizeof(old));
    const wchar_t text[] = L"not a number";
    RegSetValueExW(policies.get(), L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   sizeof(text));
    policies.Reset();
    EnableBackupPrivilege();
    ASSERT_EQ(RegSaveKeyW(source.get(), hiveFile_.c_str(), nullptr), ERROR_SUCCESS);
    source.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSource);
  }
  void TearDown() override {
    // Unmounting needs the privilege as much as mounting.
    static_cast<void>(users_.EnableRestorePrivilege(true));
    static_cast<void>(users_.UnloadHive(kMount));
    static_cast<void>(users_.EnableRestorePrivilege(false));
    std::error_code error;
    fs::remove(hiveFile_, error);
  }

  uint32_t Mount() {
    uint32_t result = users_.LoadHive(kMount, hiveFile_.wstring());
    if (result == win32error::kPrivilegeNotHeld) {
      static_cast<void>(users_.EnableRestorePrivilege(true));
      result = users_.LoadHive(kMount, hiveFile_.wstring());
    }
    return result;
  }

  Win32UserRegistry users_;
  fs::path hiveFile_;
};

TEST_F(Win32HiveTest, MountingNeedsTheRestorePrivilegeSwitchedOn) {
  ASSERT_EQ(users_.EnableRestorePrivilege(false), win32error::kSuccess);
  EXPECT_EQ(users_.LoadHive(kMount, hiveFile_.wstring()), win32error::kPrivilegeNotHeld);
  ASSERT_EQ(users_.EnableRestorePrivilege(true), win32error::kSuccess);
  ASSERT_EQ(users_.LoadHive(kMount, hiveFile_.wstring()), win32error::kSuccess);
  EXPECT_EQ(users_.UnloadHive(kMount), win32error::kSuccess);
  EXPECT_EQ(users_.LoadHive(kMount, (TestFolder() / L"absent.dat").wstring()),
            win32error::kFileNotFound);
}

// The change and the restore each mount the hive on their own, as the autoplay suppression
// does. Windows writes a mounted hive's changes back to its file; wine drops them when the
// hive is unmounted, so between the two mounts either value may be found.
TEST_F(Win32HiveTest, ValueChangedInOneMountIsPutBackInTheNext) {
  ASSERT_EQ(Mount(), win32error::kSuccess);
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(users_.OpenUserKey(kMount, kPolicies, key), win32error::kSuccess);
  uint32_t value = 0;
  ASSERT_EQ(key->ReadDword(L"NoDriveTypeAutoRun", value), win32error::kSuccess);
  EXPECT_EQ(value, 0x91u);
  EXPECT_EQ(key->ReadDword(L"Text", value), win32error::kUnsupportedType);
  EXPECT_EQ(key->ReadDword(L"DisableAutoplay", value), win32error::kFileNotFound);
  EXPECT_EQ(key->WriteDword(L"NoDriveTypeAutoRun", 0xFF), win32error::kSuccess);
  EXPECT_EQ(key->WriteDword(L"DisableAutoplay", 1), win32error::kSuccess);
  ASSERT_EQ(key->ReadDword(L"NoDriveTypeAutoRun", value), win32error::kSuccess);
  EXPECT_EQ(value, 0xFFu);
  key.reset();  // every key of a hive is closed before it is unmounted
  ASSERT_EQ(users_.UnloadHive(kMount), win32error::kSuccess);
  EXPECT_EQ(users_.OpenUserKey(kMount, kPolicies, key), win32error::kFileNotFound);

  ASSERT_EQ(Mount(), win32error::kSuccess);
  ASSERT_EQ(users_.OpenUserKey(kMount, kPolicies, key), win32error::kSuccess);
  ASSERT_EQ(key->ReadDword(L"NoDriveTypeAutoRun", value), win32error::kSuccess);
  EXPECT_TRUE(value == 0xFFu || value == 0x91u) << value;
  EXPECT_EQ(key->WriteDword(L"NoDriveTypeAutoRun", 0x91), win32error::kSuccess);
  const uint32_t deleted = key->DeleteValue(L"DisableAutoplay");
  EXPECT_TRUE(deleted == win32error::kSuccess || deleted == win32error::kFileNotFound);
  EXPECT_EQ(key->DeleteValue(L"DisableAutoplay"), win32error::kFileNotFound);
  key.reset();
  ASSERT_EQ(users_.UnloadHive(kMount), win32error::kSuccess);

  ASSERT_EQ(Mount(), win32error::kSuccess);
  ASSERT_EQ(users_.OpenUserKey(kMount, kPolicies, key), win32error::kSuccess);
  ASSERT_EQ(key->ReadDword(L"NoDriveTypeAutoRun", value), win32error::kSuccess);
  EXPECT_EQ(value, 0x91u);
  EXPECT_EQ(key->ReadDword(L"DisableAutoplay", value), win32error::kFileNotFound);
}

TEST_F(Win32HiveTest, KeysAreNeverCreatedAndTypedValuesKeepTheirBytes) {
  ASSERT_EQ(Mount(), win32error::kSuccess);
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(users_.OpenUserKey(kMount,
                               L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                               L"AutoplayHandlers\\",
                               key),
            win32error::kFileNotFound);
  EXPECT_EQ(key, nullptr);

  ASSERT_EQ(users_.OpenUserKey(kMount, kPolicies, key), win32error::kSuccess);
  RegistryKey* typed = key.get();
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(typed->ReadValue(L"Text", type, data), win32error::kSuccess);
  EXPECT_EQ(type, regtype::kString);
  EXPECT_EQ(data.size(), sizeof(L"not a number"));
  const std::vector<uint8_t> binary = {0, 1, 2, 0xFE, 0xFF};
  ASSERT_EQ(typed->WriteValue(L"Binary", regtype::kBinary, binary), win32error::kSuccess);
  ASSERT_EQ(typed->ReadValue(L"Binary", type, data), win32error::kSuccess);
  EXPECT_EQ(type, regtype::kBinary);
  EXPECT_EQ(data, binary);
  EXPECT_EQ(typed->ReadValue(L"Absent", type, data), win32error::kFileNotFound);
  key.reset();
}

// ---------------------------------------------------------------------------------------------
// Volumes and the version

TEST(Win32VolumeInfoTest, FreeSpaceOfADriveRootAndOfAMissingDrive) {
  Win32VolumeInfo volumes;
  EXPECT_EQ(volumes.DriveRoot(L'c'), L"C:\\");
  EXPECT_EQ(volumes.SystemDriveLetter(), L'C') << "wine keeps Windows on drive C:";
  VolumeSpace space;
  ASSERT_TRUE(volumes.GetFreeSpace(volumes.DriveRoot(L'C'), space));
  EXPECT_GT(space.totalBytes, 0u);
  EXPECT_LE(space.totalFreeBytes, space.totalBytes);
  EXPECT_LE(space.freeBytesToCaller, space.totalFreeBytes);
  ASSERT_TRUE(volumes.GetFreeSpace(TestFolder().wstring(), space));

  // A letter nobody has.
  const DWORD drives = GetLogicalDrives();
  wchar_t unused = 0;
  for (wchar_t letter = L'Y'; letter > L'D' && unused == 0; --letter) {
    if ((drives & (1u << (letter - L'A'))) == 0) unused = letter;
  }
  ASSERT_NE(unused, 0);
  VolumeSpace untouched{1, 2, 3};
  EXPECT_FALSE(volumes.GetFreeSpace(volumes.DriveRoot(unused), untouched));
  EXPECT_EQ(untouched.totalBytes, 2u);
}

TEST(Win32VolumeInfoTest, TempFilesAreNewEmptyFilesNamedFromThePrefix) {
  Win32VolumeInfo volumes;
  const fs::path folder = TestFolder() / L"temp-files";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::wstring first, second;
  ASSERT_EQ(volumes.CreateTempFile(folder.wstring(), L"record", first), 0u);
  ASSERT_EQ(volumes.CreateTempFile(folder.wstring(), L"record", second), 0u);
  EXPECT_NE(first, second);
  for (const auto& file : {fs::path(first), fs::path(second)}) {
    EXPECT_EQ(file.parent_path(), folder);
    const std::wstring name = file.filename().wstring();
    EXPECT_EQ(name.substr(0, 3), L"rec");
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp");
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(fs::file_size(file), 0u);
  }
  std::wstring none;
  EXPECT_EQ(volumes.CreateTempFile((folder / L"absent").wstring(), L"rec", none),
            static_cast<uint32_t>(ERROR_DIRECTORY));
  fs::remove_all(folder);
}

TEST(Win32OsVersionTest, AgreesWithTheVersionTheSystemReports) {
  // RtlGetVersion tells the truth whatever the program's manifest declares.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(rtlGetVersion, nullptr);
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_EQ(rtlGetVersion(&version), 0);
  const bool eightOrLater =
      version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
  EXPECT_EQ(Win32OsVersion().IsWindows8OrGreater(), eightOrLater);
}

}  // namespace
}  // namespace kestrune::platform::win32
