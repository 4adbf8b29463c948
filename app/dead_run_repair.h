#pragma once

#include "app/repair_journal.h"
#include "platform/file_tree.h"
#include "platform/user_registry.h"

namespace kestrune {

/// Undoes what runs that no longer run left in their journals, under the journal lock:
/// restores each user's autoplay values by the restore rules (unless a live run holds the same
/// user's values, which it will restore itself), unmounts a hive a dead run left mounted
/// (unless a live run has mounted it), and removes the folders
/// it made (a folder only: a link or file in its place is left). A journal whose every change
/// was undone is removed; one with changes that could not be undone keeps them for the next
/// start. Journals of live runs, this one's included, are left alone. What the repair itself
/// changes for a while (a hive mounted for a restore) is noted in `journal`, this run's. The
/// number of journals found of dead runs.
int RepairDeadRuns(RepairJournal& journal, platform::UserRegistry& users,
                   platform::FileTree& files);

}  // namespace kestrune
