#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/fixed_text.h"
#include "app/run_context.h"
#include "platform/user_registry.h"

namespace kestrune {

/// What autoplay suppression changed in one user's hive, to put it back afterwards.
///
/// A value "existed" when it could be read before the change, whatever its type; its type
/// and bytes were then saved and are written back exactly as they were (`...Old` keeps the
/// number of a REG_DWORD). A value that did not exist is deleted again on restore.
struct UserHiveEntry {
  FixedText<kPathCapacity> userName;
  FixedText<kPathCapacity> sidString;
  uint32_t autoplayExisted = 0;
  uint32_t autoplaySaved = 0;
  uint32_t autoplayOld = 0;
  uint32_t noAutoRunExisted = 0;
  uint32_t noAutoRunSaved = 0;
  uint32_t noAutoRunOld = 0;
  uint32_t autoplayOldType = 0;
  std::vector<uint8_t> autoplayOldData;
  uint32_t noAutoRunOldType = 0;
  std::vector<uint8_t> noAutoRunOldData;
  /// The hive could not be unmounted after the change (not even on a second try); the
  /// restore finds it still mounted and unmounts it afterwards.
  bool hiveLeftMounted = false;
};

/// The users whose autoplay the wizard switched off while it runs (the sheet's `users`).
/// Every registry failure is silent: a user whose hive cannot be mounted is left alone.
class UserHiveList {
 public:
  explicit UserHiveList(platform::UserRegistry& registry) : registry_(registry) {}

  /// Adds every user the logged-on user enumeration names, batch after batch while it
  /// answers "more data". Another error ends it; the users added so far stay.
  void AddLoggedOnUsers();
  /// Switches autoplay off in the hive of `userName` and records the old values. A user
  /// already recorded (names compare without regard to case), one whose account or hive
  /// cannot be found, or whose hive cannot be mounted (for instance because the user is
  /// logged on interactively), is left alone.
  void AddUser(const std::wstring& userName);
  /// Puts every recorded value back, in the order the users were added, and forgets them.
  /// The hive of a user who has logged on interactively meanwhile is already mounted by the
  /// system below the SID; the values are put back there.
  void RestoreAll();

  const std::vector<UserHiveEntry>& entries() const { return entries_; }

 private:
  void Restore(const UserHiveEntry& entry);

  platform::UserRegistry& registry_;
  std::vector<UserHiveEntry> entries_;
};

}  // namespace kestrune
