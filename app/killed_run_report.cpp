#include "app/killed_run_report.h"

#include <string>
#include <vector>

#include "app/report_files.h"
#include "app/report_record.h"

namespace kestrune {
namespace {

bool AnyRecord(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (IsReportRecordName(name)) return true;
  }
  return false;
}

}  // namespace

int WriteKilledRunReports(RepairJournal& journal, platform::FileTree& files,
                          const SystemTime& now) {
  platform::RepairJournalStore& store = journal.store();
  // Most starts find none: then the lock is not even taken.
  if (!AnyRecord(store.List())) return 0;
  RepairJournal::Hold hold(&journal);
  if (!journal.Usable()) return 0;
  const platform::ProcessIdentity self = store.Self();

  int dead = 0;
  for (const std::string& name : store.List()) {
    if (!IsReportRecordName(name)) continue;
    std::string text;
    ReportRecord record;
    if (!store.Read(name, text) || !ParseReportRecord(text, record)) continue;
    if (record.owner == self || store.IsRunning(record.owner)) continue;
    ++dead;
    // The folder is the user's to change: the report goes only into a folder that is one
    // (not a link to somewhere else), and only into new files.
    if (files.Kind(record.folder) == platform::EntryKind::kFolder) {
      static_cast<void>(
          WriteReportFiles(files, record.folder, InterruptedFacts(record), record.language, now));
    }
    // One try only: a folder that is gone (a stick taken out, a folder deleted) would be
    // tried at every start, and a report that turns up weeks later in a folder made again
    // under the same name would mislead more than a missing one.
    static_cast<void>(store.Remove(name));
  }
  return dead;
}

}  // namespace kestrune
