#include "app/autoplay.h"

#include <filesystem>
#include <memory>

#include "platform/native_path.h"
#include "text/ascii_case.h"

namespace kestrune {
namespace {

namespace err = platform::win32error;
namespace fs = std::filesystem;

constexpr const wchar_t* kAutoplayKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\";
constexpr const wchar_t* kAutoplayValue = L"DisableAutoplay";
constexpr uint32_t kAutoplayOff = 1;
constexpr const wchar_t* kPoliciesKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\";
constexpr const wchar_t* kNoAutoRunValue = L"NoDriveTypeAutoRun";
constexpr uint32_t kNoAutoRunOnAnyDrive = 0xFF;
/// A bound for an enumeration that keeps answering "more data".
constexpr int kMaxEnumerationCalls = 10000;

bool SameUserName(std::wstring_view a, std::wstring_view b) {
  return text::EqualsIgnoringAsciiCase(a.substr(0, kPathCapacity), b.substr(0, kPathCapacity));
}

/// The restore privilege, switched on when a mount asks for it and off again when the
/// operation ends.
class RestorePrivilege {
 public:
  explicit RestorePrivilege(platform::UserRegistry& registry) : registry_(registry) {}
  ~RestorePrivilege() {
    if (on_) static_cast<void>(registry_.EnableRestorePrivilege(false));
  }
  RestorePrivilege(const RestorePrivilege&) = delete;
  RestorePrivilege& operator=(const RestorePrivilege&) = delete;

  void SwitchOn() {
    if (!on_) on_ = registry_.EnableRestorePrivilege(true) == err::kSuccess;
  }

 private:
  platform::UserRegistry& registry_;
  bool on_ = false;
};

/// <parent of the current user's profile folder>/<userName>/ntuser.dat, with the platform's
/// separators. Empty when the profile folder is unknown or the name is no folder name.
std::wstring HiveFile(platform::UserRegistry& registry, std::wstring_view userName) {
  if (userName.empty() || userName == L"." || userName == L".." ||
      userName.find_first_of(L"\\/:") != std::wstring_view::npos) {
    return {};
  }
  std::wstring profile;
  if (!registry.GetProfileFolder(profile) || profile.empty()) return {};
  fs::path folder = platform::ToNativePath(profile);
  if (!folder.has_filename()) folder = folder.parent_path();  // a trailing separator
  if (!folder.has_parent_path() || folder.parent_path() == folder) return {};
  return platform::FromNativePath(folder.parent_path() / platform::ToNativePath(userName) /
                                  "ntuser.dat");
}

uint32_t Mount(platform::UserRegistry& registry, RestorePrivilege& privilege,
               const std::wstring& sid, const std::wstring& hiveFile) {
  uint32_t result = registry.LoadHive(sid, hiveFile);
  if (result == err::kPrivilegeNotHeld) {
    privilege.SwitchOn();
    result = registry.LoadHive(sid, hiveFile);
  }
  return result;
}

/// Unmounts, trying a second time when the first try fails. Every key of the hive must be
/// closed by now.
bool Unmount(platform::UserRegistry& registry, RestorePrivilege& privilege,
             const std::wstring& sid) {
  uint32_t result = registry.UnloadHive(sid);
  if (result == err::kPrivilegeNotHeld) privilege.SwitchOn();
  if (result != err::kSuccess) result = registry.UnloadHive(sid);
  return result == err::kSuccess;
}

/// Saves the value and sets it to `replacement` as a REG_DWORD. A value that cannot be read
/// for another reason than its absence is left as it is (it could not be put back), as is one
/// whose key does not exist.
SavedValue SwitchValue(platform::UserRegistry& registry, const std::wstring& sid,
                       const wchar_t* key, const wchar_t* name, uint32_t replacement) {
  SavedValue saved;
  std::unique_ptr<platform::RegistryKey> opened;
  const uint32_t open = registry.OpenUserKey(sid, key, opened);
  if (open == err::kFileNotFound) return saved;  // no key, no value; keys are never created
  if (open != err::kSuccess || !opened) {
    saved.state = SavedValueState::kUnreadable;
    return saved;
  }
  uint32_t type = 0;
  std::vector<uint8_t> data;
  const uint32_t read = opened->ReadValue(name, type, data);
  if (read != err::kSuccess && read != err::kFileNotFound) {
    saved.state = SavedValueState::kUnreadable;
    return saved;
  }
  if (opened->WriteDword(name, replacement) != err::kSuccess) return saved;
  if (read == err::kSuccess) {
    saved.state = SavedValueState::kPresent;
    saved.type = type;
    saved.data = std::move(data);
  } else {
    saved.state = SavedValueState::kAbsent;
  }
  return saved;
}

bool NeedsRestore(const SavedValue& saved) {
  return saved.state == SavedValueState::kAbsent || saved.state == SavedValueState::kPresent;
}

void RestoreValue(platform::UserRegistry& registry, const std::wstring& sid, const wchar_t* key,
                  const wchar_t* name, const SavedValue& saved) {
  if (!NeedsRestore(saved)) return;
  std::unique_ptr<platform::RegistryKey> opened;
  if (registry.OpenUserKey(sid, key, opened) != err::kSuccess || !opened) return;
  if (saved.state == SavedValueState::kAbsent) {
    static_cast<void>(opened->DeleteValue(name));
  } else {
    static_cast<void>(opened->WriteValue(name, saved.type, saved.data));
  }
}

/// Whether a hive is loaded below `sid` (its root opens), by the system or by anyone else: then
/// it cannot be mounted, and need not be. Any answer but "not found" means it is there.
bool IsLoaded(platform::UserRegistry& registry, const std::wstring& sid) {
  std::unique_ptr<platform::RegistryKey> root;
  return registry.OpenUserKey(sid, L"", root) != err::kFileNotFound;
}

/// Makes the user's hive reachable below `sid`: as it is when loaded already, otherwise by
/// mounting its file. `mounted` tells whether it was mounted here (and so must be unmounted).
/// False when it is neither loaded nor can be mounted.
bool ReachHive(platform::UserRegistry& registry, RestorePrivilege& privilege,
               const std::wstring& sid, std::wstring_view userName, bool& mounted) {
  mounted = false;
  if (IsLoaded(registry, sid)) return true;
  const std::wstring hiveFile = HiveFile(registry, userName);
  if (!hiveFile.empty() && Mount(registry, privilege, sid, hiveFile) == err::kSuccess) {
    mounted = true;
    return true;
  }
  // The user may have logged on between the look and the mount, and the system loaded it.
  return IsLoaded(registry, sid);
}

}  // namespace

void UserHiveList::AddLoggedOnUsers() {
  uint32_t resumeHandle = 0;
  for (int call = 0; call < kMaxEnumerationCalls; ++call) {
    std::vector<std::wstring> names;
    const uint32_t result = registry_.EnumerateLoggedOnUsers(names, resumeHandle);
    if (result != err::kSuccess && result != err::kMoreData) return;
    for (const auto& name : names) AddUser(name);
    if (result == err::kSuccess) return;
  }
}

void UserHiveList::AddUser(const std::wstring& userName) {
  for (const auto& entry : entries_) {
    if (SameUserName(entry.userName.view(), userName)) return;
  }
  UserHiveEntry entry;
  if (!entry.userName.Assign(userName)) return;

  std::vector<uint8_t> sid;
  std::wstring sidText;
  if (registry_.LookupAccountSid(userName, sid) != err::kSuccess ||
      registry_.SidToString(sid, sidText) != err::kSuccess || !entry.sidString.Assign(sidText)) {
    return;
  }
  RestorePrivilege privilege(registry_);
  bool mounted = false;
  if (!ReachHive(registry_, privilege, sidText, userName, mounted)) return;
  entry.hive = mounted ? HiveMount::kMountedHere : HiveMount::kLoadedBySystem;
  entry.autoplay = SwitchValue(registry_, sidText, kAutoplayKey, kAutoplayValue, kAutoplayOff);
  entry.noAutoRun =
      SwitchValue(registry_, sidText, kPoliciesKey, kNoAutoRunValue, kNoAutoRunOnAnyDrive);
  if (mounted) entry.hiveLeftMounted = !Unmount(registry_, privilege, sidText);
  entries_.push_back(std::move(entry));
}

void UserHiveList::Restore(const UserHiveEntry& entry) {
  if (!NeedsRestore(entry.autoplay) && !NeedsRestore(entry.noAutoRun) && !entry.hiveLeftMounted)
    return;
  const std::wstring sid = entry.sidString.str();
  RestorePrivilege privilege(registry_);
  bool mounted = false;
  if (!ReachHive(registry_, privilege, sid, entry.userName.view(), mounted)) return;
  RestoreValue(registry_, sid, kAutoplayKey, kAutoplayValue, entry.autoplay);
  RestoreValue(registry_, sid, kPoliciesKey, kNoAutoRunValue, entry.noAutoRun);
  // A hive the system holds for its logged-on user stays; one this program mounted goes.
  if (mounted || entry.hiveLeftMounted) static_cast<void>(Unmount(registry_, privilege, sid));
}

void UserHiveList::RestoreAll() {
  for (const auto& entry : entries_) Restore(entry);
  entries_.clear();
}

}  // namespace kestrune
