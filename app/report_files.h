#pragma once

#include <string>

#include "app/run_report.h"
#include "platform/file_tree.h"

namespace kestrune {

enum class ReportLanguage { kEnglish, kJapanese };

/// The report for a program: UTF-8 JSON, one object, with the keys label, version,
/// stateWordBefore, stateWordAfter (null when none), and media, each with kind, number, of,
/// device, result, started, seconds, bytes and steps (name, result, files, bytes, seconds and,
/// for a failure, firstDifference). The report of a run that was killed adds interrupted (true)
/// and runStarted, and unfinished (true) on the medium the run was working on.
std::string FormatReportJson(const ReportFacts& facts);

/// The report for a person, in `language`: UTF-8 with its mark and CRLF line ends, as Notepad
/// reads it. `written` is when the report was made. Times are the local times of `offsetOf`'s
/// time zone, with their offset ("2026-12-10 18:30:00 (UTC+09:00)"; "... UTC" where local
/// time is UTC).
std::string FormatReportText(const ReportFacts& facts, ReportLanguage language,
                             const SystemTime& written,
                             UtcOffsetOf offsetOf = LocalUtcOffsetMinutes);

/// "KestruneReport-YYYYMMDD-HHMMSS" for `time`, in UTC: the names sort as the reports were
/// made, whatever the clocks did in between.
std::wstring ReportBaseName(const SystemTime& time);

/// Writes the pair KestruneReport-YYYYMMDD-HHMMSS.txt and .json into `folder`, never over an
/// existing file: when either name is taken, "-2" to "-9" are tried after the time. The path
/// of the text file written, or empty when none was. Nothing the program writes here is ever
/// deleted by it.
std::wstring WriteReportFiles(platform::FileTree& files, const std::wstring& folder,
                              const ReportFacts& facts, ReportLanguage language,
                              const SystemTime& written,
                              UtcOffsetOf offsetOf = LocalUtcOffsetMinutes);

}  // namespace kestrune
