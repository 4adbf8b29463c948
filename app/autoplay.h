#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/fixed_text.h"
#include "app/run_context.h"
#include "platform/user_registry.h"

namespace kestrune {

class RepairJournal;

/// What became of one value when autoplay was switched off, and so what its restore does.
enum class SavedValueState : uint8_t {
  /// Not changed: its key does not exist (keys are never created), or the new value could not
  /// be written. Nothing to put back.
  kUntouched,
  /// Did not exist and was created: deleted again at restore.
  kAbsent,
  /// Existed, with any type: its type and bytes were saved and are written back exactly.
  kPresent,
  /// Could not be read for another reason than its absence (its key or the value denied,
  /// say): not changed, and left alone at restore too, as it could not be put back.
  kUnreadable,
};

/// One value as it was before the change.
struct SavedValue {
  SavedValueState state = SavedValueState::kUntouched;
  uint32_t type = 0;          // kPresent: its REG_* type
  std::vector<uint8_t> data;  // kPresent: its bytes
};

/// Where a user's hive was when autoplay was switched off in it.
enum class HiveMount : uint8_t {
  /// Not loaded: this program mounted the hive file below HKEY_USERS\<SID> for the change
  /// and unmounted it again.
  kMountedHere,
  /// Loaded by the system for its logged-on user (at the console, say) below
  /// HKEY_USERS\<SID>: changed in place, nothing mounted or unmounted.
  kLoadedBySystem,
};

/// What autoplay suppression changed in one user's hive, to put it back afterwards.
struct UserHiveEntry {
  FixedText<kPathCapacity> userName;
  FixedText<kPathCapacity> sidString;
  HiveMount hive = HiveMount::kMountedHere;
  SavedValue autoplay;   // AutoplayHandlers\DisableAutoplay
  SavedValue noAutoRun;  // Policies\Explorer\NoDriveTypeAutoRun
  /// The hive could not be unmounted after the change (not even on a second try); the
  /// restore finds it still mounted and unmounts it afterwards.
  bool hiveLeftMounted = false;
};

/// The users whose autoplay the wizard switched off while it runs (the sheet's `users`).
/// A user's hive that the system holds loaded below HKEY_USERS\<SID> (the user is logged on
/// interactively) is changed there; any other is mounted from its file for the change and
/// unmounted again. Every registry failure is silent: a user whose hive is neither loaded nor
/// can be mounted is left alone.
class UserHiveList {
 public:
  /// Every change is noted in `journal` (when there is one) before it is made, and
  /// forgotten there once it is undone.
  explicit UserHiveList(platform::UserRegistry& registry, RepairJournal* journal = nullptr)
      : registry_(registry), journal_(journal) {}

  /// Adds every user the logged-on user enumeration names, batch after batch while it
  /// answers "more data". Another error ends it; the users added so far stay.
  void AddLoggedOnUsers();
  /// Switches autoplay off in the hive of `userName` and records the old values. A user
  /// already recorded (names compare without regard to case), one whose account cannot be
  /// found, or whose hive is not loaded and cannot be mounted, is left alone. When another
  /// run that still runs has switched the same user's values off, the values it saved are
  /// taken as the old ones: those read now are that run's.
  void AddUser(const std::wstring& userName);
  /// Puts every recorded value back, in the order the users were added, and forgets them.
  /// Each hive is restored where it is now: in place while the system holds it (also when
  /// its user logged on meanwhile), otherwise mounted from its file again for the restore.
  /// A user whose values another live run holds as well keeps them switched off: that run
  /// puts back the same old values when it ends.
  void RestoreAll();

  const std::vector<UserHiveEntry>& entries() const { return entries_; }

 private:
  void Restore(const UserHiveEntry& entry);

  platform::UserRegistry& registry_;
  RepairJournal* journal_;
  std::vector<UserHiveEntry> entries_;
};

/// Puts `entry`'s values back by the restore rules, in the hive where it is now, and unmounts
/// a hive that was mounted for it (or left mounted). True when every value that needs it was
/// written back and no hive mounted for it is left. A mount for the restore is noted in
/// `journal` (when there is one) before it is made, and forgotten once it is undone.
bool RestoreUserHive(platform::UserRegistry& registry, const UserHiveEntry& entry,
                     RepairJournal* journal = nullptr);

/// Whether a hive is loaded below `subkey` of HKEY_USERS, by the system or by anyone else.
bool IsHiveLoaded(platform::UserRegistry& registry, const std::wstring& subkey);

/// Unmounts the hive below `subkey`, switching the restore privilege on when it is needed.
bool UnmountUserHive(platform::UserRegistry& registry, const std::wstring& subkey);

}  // namespace kestrune
