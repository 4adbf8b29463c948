#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/autoplay.h"
#include "platform/repair_journal_store.h"

namespace kestrune {

/// What one run has changed that outlives it and not yet undone: the contents of its repair
/// journal.
struct JournalContents {
  platform::ProcessIdentity owner;
  /// The users whose autoplay values the run switched off, each with the values as they were
  /// before (noted before the first value is written).
  std::vector<UserHiveEntry> hives;
  /// The HKEY_USERS subkeys below which the run mounted a user's hive and has not unmounted
  /// it yet (noted before the mount), each with the user's name.
  struct MountedHive {
    std::wstring sid;
    std::wstring userName;
  };
  std::vector<MountedHive> mountedHives;
  /// Folders the run made and has not removed yet: its private work area, the comparison
  /// folder.
  std::vector<std::wstring> folders;

  bool empty() const { return hives.empty() && mountedHives.empty() && folders.empty(); }
};

/// The journal as text: a header line, then one line per change, every text field as
/// percent-encoded UTF-8.
std::string FormatJournal(const JournalContents& contents);
/// Reads a journal written by FormatJournal. False when the header is not there; a line that
/// cannot be read is passed over, so that what can be undone still is.
bool ParseJournal(const std::string& text, JournalContents& contents);

/// The journal file's name for a process.
std::string JournalName(const platform::ProcessIdentity& owner);

/// This run's repair journal: every change that would outlive the process is noted in the
/// store before it is made and forgotten once it is undone; the journal is removed when
/// nothing is left in it. Used from any thread. When the store is unusable nothing is noted,
/// and the run goes on as it would without a journal.
class RepairJournal {
 public:
  explicit RepairJournal(platform::RepairJournalStore& store);
  ~RepairJournal();
  RepairJournal(const RepairJournal&) = delete;
  RepairJournal& operator=(const RepairJournal&) = delete;

  /// Holds the machine-wide journal lock (and this journal) for as long as it lives, so that
  /// a look at the other runs' journals and the change it leads to are one step for every
  /// other run. Holds may nest on one thread. A null journal holds nothing.
  class Hold {
   public:
    explicit Hold(RepairJournal* journal);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    RepairJournal* journal_;
  };

  void HiveMounting(const std::wstring& sid, const std::wstring& userName);
  void HiveUnmounted(const std::wstring& sid);
  /// Notes (or replaces) the saved values of `entry`'s user.
  void HiveValuesSaved(const UserHiveEntry& entry);
  /// Forgets the saved values of the user with `sid`, and the mount when `unmounted`.
  void HiveRestored(const std::wstring& sid, bool unmounted);
  void FolderMade(const std::wstring& path);
  void FolderRemoved(const std::wstring& path);

  /// The saved values another run that still runs holds for the user with `sid`: that run
  /// switched the values off first, so what it saved is what they were before either run.
  /// False when no live run holds them. Call with a Hold.
  bool LivePeerEntry(const std::wstring& sid, UserHiveEntry& entry);

  /// What the journal holds now.
  JournalContents Contents();

  /// The store, for a look at the other runs' journals with a Hold.
  platform::RepairJournalStore& store() { return store_; }
  /// Whether the store could be locked: call with a Hold.
  bool Usable() const { return lock_ != nullptr; }

 private:
  void Save();

  platform::RepairJournalStore& store_;
  std::recursive_mutex mutex_;
  int holds_ = 0;
  std::unique_ptr<platform::JournalLock> lock_;
  JournalContents contents_;
  std::string name_;
  bool written_ = false;
};

}  // namespace kestrune
