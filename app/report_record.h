#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "app/repair_journal.h"
#include "app/report_files.h"
#include "app/run_report.h"

namespace kestrune {

/// A run's report so far, kept in the repair journal store next to its journal while the run
/// works on media, so that the next start can still write the report of a run that was killed
/// (a power cut, the task manager). Kept apart from the journal: the journal lists what to
/// undo and is removed once nothing is left in it, this lists what happened.
struct ReportRecord {
  platform::ProcessIdentity owner;
  /// The image folder, where the report goes.
  std::wstring folder;
  ReportLanguage language = ReportLanguage::kEnglish;
  /// The facts so far; while a medium is open its result is not yet known, nor is the
  /// result of a step that is open (always the last of the last medium).
  ReportFacts facts;
  bool mediumOpen = false;
  bool stepOpen = false;
};

/// The record as text: a header line, then one line per fact, every text field as
/// percent-encoded UTF-8.
std::string FormatReportRecord(const ReportRecord& record);
/// Reads a record written by FormatReportRecord. False when any line cannot be read: a
/// report made from half a record would say what did not happen.
bool ParseReportRecord(const std::string& text, ReportRecord& record);

/// The record's name in the store for a process: its journal's name with ".report" before the
/// ending.
std::string ReportRecordName(const platform::ProcessIdentity& owner);
/// Whether `name` is the name of a report record.
bool IsReportRecordName(const std::string& name);

/// The facts as the report of a run that was killed tells them: no state word after, the
/// medium that was open failed (its state is unknown: a disc half burned, a stick half
/// written) and so did the step that was open.
ReportFacts InterruptedFacts(const ReportRecord& record);

/// Keeps this run's report record in the store of `journal`, under the journal lock. When
/// the store is unusable nothing is kept and the run goes on. Used from any thread.
class StoredReportRecord : public ReportRecorder {
 public:
  StoredReportRecord(RepairJournal& journal, std::wstring folder, ReportLanguage language);

  void Record(const ReportSnapshot& snapshot) override;
  /// Removes the record: the report was written, or there was nothing to report.
  void Remove();

 private:
  RepairJournal& journal_;
  std::wstring folder_;
  ReportLanguage language_;
  std::string name_;
  platform::ProcessIdentity owner_;
  /// Whether a record was written: a run that never began a medium leaves the store as it
  /// found it, lock included.
  std::atomic<bool> written_{false};
};

}  // namespace kestrune
