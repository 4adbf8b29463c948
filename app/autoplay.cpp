#include "app/autoplay.h"

#include <filesystem>
#include <memory>

#include "app/repair_journal.h"
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

/// The value as it is before the change: kUntouched when its key does not exist (keys are
/// never created), kUnreadable when the key or the value cannot be read for another reason
/// than its absence (it could not be put back, so it is not changed either).
SavedValue ReadOriginal(platform::UserRegistry& registry, const std::wstring& sid,
                        const wchar_t* key, const wchar_t* name) {
  SavedValue saved;
  std::unique_ptr<platform::RegistryKey> opened;
  const uint32_t open = registry.OpenUserKey(sid, key, opened);
  if (open == err::kFileNotFound) return saved;
  if (open != err::kSuccess || !opened) {
    saved.state = SavedValueState::kUnreadable;
    return saved;
  }
  const uint32_t read = opened->ReadValue(name, saved.type, saved.data);
  if (read == err::kSuccess) {
    saved.state = SavedValueState::kPresent;
  } else {
    saved.type = 0;
    saved.data.clear();
    saved.state = read == err::kFileNotFound ? SavedValueState::kAbsent
                                             : SavedValueState::kUnreadable;
  }
  return saved;
}

/// Sets a value that was read (`saved` present or absent) to `replacement` as a REG_DWORD.
/// When that fails, nothing was changed and `saved` becomes untouched.
void SwitchValue(platform::UserRegistry& registry, const std::wstring& sid, const wchar_t* key,
                 const wchar_t* name, uint32_t replacement, SavedValue& saved) {
  if (saved.state != SavedValueState::kPresent && saved.state != SavedValueState::kAbsent) return;
  std::unique_ptr<platform::RegistryKey> opened;
  if (registry.OpenUserKey(sid, key, opened) != err::kSuccess || !opened ||
      opened->WriteDword(name, replacement) != err::kSuccess) {
    saved = SavedValue{};
  }
}

/// `ours`, read just now, replaced by what a live run saved before it switched the value off,
/// when both could be read.
void TakePeerOriginal(SavedValue& ours, const SavedValue& peer) {
  const auto readable = [](const SavedValue& value) {
    return value.state == SavedValueState::kPresent || value.state == SavedValueState::kAbsent;
  };
  if (readable(ours) && readable(peer)) ours = peer;
}

bool NeedsRestore(const SavedValue& saved) {
  return saved.state == SavedValueState::kAbsent || saved.state == SavedValueState::kPresent;
}

/// Puts one value back; true when it needed nothing or was written back.
bool RestoreValue(platform::UserRegistry& registry, const std::wstring& sid, const wchar_t* key,
                  const wchar_t* name, const SavedValue& saved) {
  if (!NeedsRestore(saved)) return true;
  std::unique_ptr<platform::RegistryKey> opened;
  if (registry.OpenUserKey(sid, key, opened) != err::kSuccess || !opened) return false;
  if (saved.state == SavedValueState::kAbsent) {
    const uint32_t deleted = opened->DeleteValue(name);
    return deleted == err::kSuccess || deleted == err::kFileNotFound;
  }
  return opened->WriteValue(name, saved.type, saved.data) == err::kSuccess;
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
/// A mount is noted in `journal` (when there is one) before it is made.
bool ReachHive(platform::UserRegistry& registry, RestorePrivilege& privilege,
               const std::wstring& sid, std::wstring_view userName, RepairJournal* journal,
               bool& mounted) {
  mounted = false;
  if (IsLoaded(registry, sid)) return true;
  const std::wstring hiveFile = HiveFile(registry, userName);
  if (!hiveFile.empty()) {
    if (journal != nullptr) journal->HiveMounting(sid, std::wstring(userName));
    if (Mount(registry, privilege, sid, hiveFile) == err::kSuccess) {
      mounted = true;
      return true;
    }
    if (journal != nullptr) journal->HiveUnmounted(sid);
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
  // The look at the other runs' journals, the note of the old values and the change are
  // one step for every other run.
  RepairJournal::Hold hold(journal_);
  RestorePrivilege privilege(registry_);
  bool mounted = false;
  if (!ReachHive(registry_, privilege, sidText, userName, journal_, mounted)) return;
  entry.hive = mounted ? HiveMount::kMountedHere : HiveMount::kLoadedBySystem;
  entry.autoplay = ReadOriginal(registry_, sidText, kAutoplayKey, kAutoplayValue);
  entry.noAutoRun = ReadOriginal(registry_, sidText, kPoliciesKey, kNoAutoRunValue);
  UserHiveEntry peer;
  if (journal_ != nullptr && journal_->LivePeerEntry(sidText, peer)) {
    TakePeerOriginal(entry.autoplay, peer.autoplay);
    TakePeerOriginal(entry.noAutoRun, peer.noAutoRun);
  }
  if (journal_ != nullptr && (NeedsRestore(entry.autoplay) || NeedsRestore(entry.noAutoRun))) {
    journal_->HiveValuesSaved(entry);
  }
  SwitchValue(registry_, sidText, kAutoplayKey, kAutoplayValue, kAutoplayOff, entry.autoplay);
  SwitchValue(registry_, sidText, kPoliciesKey, kNoAutoRunValue, kNoAutoRunOnAnyDrive,
              entry.noAutoRun);
  if (mounted) {
    entry.hiveLeftMounted = !Unmount(registry_, privilege, sidText);
    if (!entry.hiveLeftMounted && journal_ != nullptr) journal_->HiveUnmounted(sidText);
  }
  entries_.push_back(std::move(entry));
}

void UserHiveList::Restore(const UserHiveEntry& entry) {
  RepairJournal::Hold hold(journal_);
  const std::wstring sid = entry.sidString.str();
  UserHiveEntry peer;
  if (journal_ != nullptr && journal_->LivePeerEntry(sid, peer)) {
    // The other run saw the values as this run left them: it restores the same old values.
    journal_->HiveRestored(sid, false);
    return;
  }
  if (RestoreUserHive(registry_, entry, journal_) && journal_ != nullptr) {
    journal_->HiveRestored(sid, true);
  }
}

void UserHiveList::RestoreAll() {
  for (const auto& entry : entries_) Restore(entry);
  entries_.clear();
}

bool RestoreUserHive(platform::UserRegistry& registry, const UserHiveEntry& entry,
                     RepairJournal* journal) {
  if (!NeedsRestore(entry.autoplay) && !NeedsRestore(entry.noAutoRun) && !entry.hiveLeftMounted)
    return true;
  const std::wstring sid = entry.sidString.str();
  RestorePrivilege privilege(registry);
  bool mounted = false;
  if (!ReachHive(registry, privilege, sid, entry.userName.view(), journal, mounted)) return false;
  bool restored = RestoreValue(registry, sid, kAutoplayKey, kAutoplayValue, entry.autoplay);
  restored = RestoreValue(registry, sid, kPoliciesKey, kNoAutoRunValue, entry.noAutoRun) && restored;
  // A hive the system holds for its logged-on user stays; one this program mounted goes.
  if (mounted || entry.hiveLeftMounted) {
    const bool unmounted = Unmount(registry, privilege, sid);
    if (unmounted && journal != nullptr) journal->HiveUnmounted(sid);
    restored = unmounted && restored;
  }
  return restored;
}

bool IsHiveLoaded(platform::UserRegistry& registry, const std::wstring& subkey) {
  return IsLoaded(registry, subkey);
}

bool UnmountUserHive(platform::UserRegistry& registry, const std::wstring& subkey) {
  RestorePrivilege privilege(registry);
  return Unmount(registry, privilege, subkey);
}

}  // namespace kestrune
