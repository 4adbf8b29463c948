#pragma once

#include "app/repair_journal.h"
#include "app/system_time.h"
#include "platform/file_tree.h"

namespace kestrune {

/// Writes the verification report of every run that was killed while it worked on media (a
/// power cut, the task manager) from the report record it left in the store
/// (app/report_record.h), into the image folder the record names, with the time `now` in the
/// files' names; then removes the record. Under the journal lock; records of live runs, this
/// one's included, are left alone, and so is a record that cannot be read. The number of
/// records found of dead runs.
int WriteKilledRunReports(RepairJournal& journal, platform::FileTree& files, const SystemTime& now);

}  // namespace kestrune
