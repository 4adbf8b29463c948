#include "app/dead_run_repair.h"

#include <string>
#include <vector>

#include "text/ascii_case.h"

namespace kestrune {
namespace {

struct Journal {
  std::string name;
  JournalContents contents;
};

bool SameText(std::wstring_view a, std::wstring_view b) {
  return text::EqualsIgnoringAsciiCase(a, b);
}

bool LiveRunHoldsValues(const std::vector<Journal>& live, std::wstring_view sid) {
  for (const Journal& journal : live) {
    for (const UserHiveEntry& entry : journal.contents.hives) {
      if (SameText(entry.sidString.view(), sid)) return true;
    }
  }
  return false;
}

bool LiveRunMounted(const std::vector<Journal>& live, std::wstring_view sid) {
  for (const Journal& journal : live) {
    for (const JournalContents::MountedHive& mounted : journal.contents.mountedHives) {
      if (SameText(mounted.sid, sid)) return true;
    }
  }
  return false;
}

/// Undoes what `dead` noted; what could not be undone is left in `left`.
void Undo(const JournalContents& dead, const std::vector<Journal>& live, RepairJournal& journal,
          platform::UserRegistry& users, platform::FileTree& files, JournalContents& left) {
  for (const UserHiveEntry& entry : dead.hives) {
    if (LiveRunHoldsValues(live, entry.sidString.view())) continue;  // it restores them
    if (!RestoreUserHive(users, entry, &journal)) left.hives.push_back(entry);
  }
  for (const JournalContents::MountedHive& mounted : dead.mountedHives) {
    // Gone already (a restart unloads every mounted hive), or mounted by a live run. A hive
    // the system has loaded below the SID since (its user logged on) refuses to unload while
    // the user's processes hold its keys.
    if (LiveRunMounted(live, mounted.sid) || !IsHiveLoaded(users, mounted.sid)) continue;
    if (!UnmountUserHive(users, mounted.sid)) left.mountedHives.push_back(mounted);
  }
  for (const std::wstring& folder : dead.folders) {
    // A link or a file in the folder's place is not what the run made.
    if (files.Kind(folder) != platform::EntryKind::kFolder) continue;
    if (!files.RemoveTree(folder)) left.folders.push_back(folder);
  }
}

}  // namespace

int RepairDeadRuns(RepairJournal& journal, platform::UserRegistry& users,
                   platform::FileTree& files) {
  platform::RepairJournalStore& store = journal.store();
  // Most starts find none: then the lock is not even taken (nor its place made).
  if (store.List().empty()) return 0;
  RepairJournal::Hold hold(&journal);
  if (!journal.Usable()) return 0;
  const platform::ProcessIdentity self = store.Self();

  std::vector<Journal> live, dead;
  for (const std::string& name : store.List()) {
    Journal found{name, {}};
    std::string text;
    // A file that is no journal is left as it is: the repair removes only what it understands.
    if (!store.Read(name, text) || !ParseJournal(text, found.contents)) continue;
    if (found.contents.owner == self) continue;
    (store.IsRunning(found.contents.owner) ? live : dead).push_back(std::move(found));
  }
  for (const Journal& found : dead) {
    JournalContents left;
    left.owner = found.contents.owner;
    Undo(found.contents, live, journal, users, files, left);
    if (left.empty()) {
      static_cast<void>(store.Remove(found.name));
    } else {
      static_cast<void>(store.Write(found.name, FormatJournal(left)));
    }
  }
  return static_cast<int>(dead.size());
}

}  // namespace kestrune
