#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/fixed_text.h"
#include "app/run_context.h"
#include "platform/user_registry.h"

namespace kestrune {

/// What autoplay suppression changed in one user's hive, to put it back afterwards.
struct UserHiveEntry {
  FixedText<kPathCapacity> userName;
  FixedText<kPathCapacity> sidString;
  uint32_t autoplayExisted = 0;
  uint32_t autoplaySaved = 0;
  uint32_t autoplayOld = 0;
  uint32_t noAutoRunExisted = 0;
  uint32_t noAutoRunSaved = 0;
  uint32_t noAutoRunOld = 0;
};

/// The users whose autoplay the wizard switched off while it runs (the sheet's `users`).
class UserHiveList {
 public:
  explicit UserHiveList(platform::UserRegistry& registry) : registry_(registry) {}

  /// Switches autoplay off in the hive of `userName` and records the old values. A user
  /// already recorded, or whose hive cannot be mounted, is left alone.
  void AddUser(const std::wstring& userName);
  /// Puts every recorded value back, in the order the users were added, and forgets them.
  void RestoreAll();

  const std::vector<UserHiveEntry>& entries() const { return entries_; }

 private:
  platform::UserRegistry& registry_;
  std::vector<UserHiveEntry> entries_;
};

}  // namespace kestrune
