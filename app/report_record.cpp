#include "app/report_record.h"

#include <sstream>
#include <utility>

#include "app/journal_fields.h"
#include "app/program_version.h"
#include "text/utf8.h"

namespace kestrune {
namespace {

using journal_fields::Decode;
using journal_fields::Encode;
using journal_fields::Fields;
using journal_fields::ParseNumber;

constexpr const char* kHeader = "kestrune-report-record 1";
// The store lists only names that end as a journal's; the journal repair passes over the
// record, whose first line is not a journal's.
constexpr const char* kEnding = ".report.journal";

std::string Number(uint64_t number) { return std::to_string(number); }

bool ParseSmall(const std::string& text, uint32_t& number) {
  uint64_t wide = 0;
  if (!ParseNumber(text, wide) || wide > 0xffffffffULL) return false;
  number = static_cast<uint32_t>(wide);
  return true;
}

bool ParseFlag(const std::string& text, bool& flag) {
  if (text != "0" && text != "1") return false;
  flag = text == "1";
  return true;
}

std::string Time(const SystemTime& time) { return Number(SystemTimeToMilliseconds(time)); }

bool ParseTime(const std::string& text, SystemTime& time) {
  uint64_t milliseconds = 0;
  if (!ParseNumber(text, milliseconds)) return false;
  time = SystemTimeFromMilliseconds(milliseconds);
  return true;
}

// medium <kind> <number> <of> <device> <result> <started> <milliseconds> <bytes>
bool ParseMedium(const std::vector<std::string>& fields, MediumRecord& medium) {
  if (fields.size() != 9) return false;
  if (!ParseMediumKindWord(fields[1], medium.kind)) return false;
  return ParseSmall(fields[2], medium.number) && ParseSmall(fields[3], medium.of) &&
         Decode(fields[4], medium.device) && ParseMediumResultWord(fields[5], medium.result) &&
         ParseTime(fields[6], medium.started) && ParseNumber(fields[7], medium.milliseconds) &&
         ParseNumber(fields[8], medium.bytes);
}

// step <name> <result> <files> <bytes> <milliseconds> <first difference>
bool ParseStepLine(const std::vector<std::string>& fields, StepRecord& step) {
  return fields.size() == 7 && ParseReportStepWord(fields[1], step.name) &&
         ParseStepResultWord(fields[2], step.result) && ParseNumber(fields[3], step.files) &&
         ParseNumber(fields[4], step.bytes) && ParseNumber(fields[5], step.milliseconds) &&
         Decode(fields[6], step.firstDifference);
}

bool ParseLine(const std::vector<std::string>& fields, ReportRecord& record) {
  const std::string& key = fields[0];
  ReportFacts& facts = record.facts;
  if (key == "owner" && fields.size() == 3) {
    return ParseSmall(fields[1], record.owner.id) && ParseNumber(fields[2], record.owner.startTime);
  }
  if (key == "folder" && fields.size() == 2) return Decode(fields[1], record.folder);
  if (key == "language" && fields.size() == 2 && (fields[1] == "en" || fields[1] == "ja")) {
    record.language = fields[1] == "ja" ? ReportLanguage::kJapanese : ReportLanguage::kEnglish;
    return true;
  }
  if (key == "label" && fields.size() == 2) return Decode(fields[1], facts.label);
  if (key == "version" && fields.size() == 2) {
    std::wstring version;
    if (!Decode(fields[1], version)) return false;
    facts.version = text::Utf8FromWide(version);
    return true;
  }
  if (key == "before" && fields.size() == 2) return ParseSmall(fields[1], facts.stateWordBefore);
  if (key == "started" && fields.size() == 2) return ParseTime(fields[1], facts.runStarted);
  if (key == "open" && fields.size() == 3) {
    return ParseFlag(fields[1], record.mediumOpen) && ParseFlag(fields[2], record.stepOpen);
  }
  if (key == "medium") {
    MediumRecord medium;
    if (!ParseMedium(fields, medium)) return false;
    facts.media.push_back(std::move(medium));
    return true;
  }
  if (key == "step" && !facts.media.empty()) {
    StepRecord step;
    if (!ParseStepLine(fields, step)) return false;
    facts.media.back().steps.push_back(std::move(step));
    return true;
  }
  return false;
}

}  // namespace

std::string FormatReportRecord(const ReportRecord& record) {
  const ReportFacts& facts = record.facts;
  std::string out = std::string(kHeader) + "\n";
  out += "owner " + Number(record.owner.id) + " " + Number(record.owner.startTime) + "\n";
  out += "folder " + Encode(record.folder) + "\n";
  out += std::string("language ") + (record.language == ReportLanguage::kJapanese ? "ja" : "en") +
         "\n";
  out += "label " + Encode(facts.label) + "\n";
  out += "version " + Encode(text::WideFromUtf8(facts.version)) + "\n";
  out += "before " + Number(facts.stateWordBefore) + "\n";
  out += "started " + Time(facts.runStarted) + "\n";
  out += std::string("open ") + (record.mediumOpen ? "1" : "0") + " " +
         (record.stepOpen ? "1" : "0") + "\n";
  for (const MediumRecord& medium : facts.media) {
    out += std::string("medium ") + MediumKindWord(medium.kind) + " " +
           Number(medium.number) + " " + Number(medium.of) + " " + Encode(medium.device) + " " +
           MediumResultWord(medium.result) + " " + Time(medium.started) + " " +
           Number(medium.milliseconds) + " " + Number(medium.bytes) + "\n";
    for (const StepRecord& step : medium.steps) {
      out += std::string("step ") + ReportStepWord(step.name) + " " + StepResultWord(step.result) + " " +
             Number(step.files) + " " + Number(step.bytes) + " " + Number(step.milliseconds) + " " +
             Encode(step.firstDifference) + "\n";
    }
  }
  return out + "end\n";
}

bool ParseReportRecord(const std::string& text, ReportRecord& record) {
  record = ReportRecord{};
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return false;
  // The last line tells that the record is whole.
  bool ended = false;
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = Fields(line);
    if (fields.empty() || ended) return false;
    if (fields.size() == 1 && fields[0] == "end") {
      ended = true;
    } else if (!ParseLine(fields, record)) {
      return false;
    }
  }
  const bool opensSomething = !record.mediumOpen || !record.facts.media.empty();
  const bool stepInMedium =
      !record.stepOpen || (record.mediumOpen && !record.facts.media.back().steps.empty());
  return ended && opensSomething && stepInMedium && !record.folder.empty();
}

std::string ReportRecordName(const platform::ProcessIdentity& owner) {
  return std::to_string(owner.id) + "-" + std::to_string(owner.startTime) + kEnding;
}

bool IsReportRecordName(const std::string& name) {
  const std::string ending = kEnding;
  return name.size() > ending.size() &&
         name.compare(name.size() - ending.size(), ending.size(), ending) == 0;
}

ReportFacts InterruptedFacts(const ReportRecord& record) {
  ReportFacts facts = record.facts;
  facts.stateWordAfter.reset();
  facts.interrupted = true;
  if (record.mediumOpen && !facts.media.empty()) {
    MediumRecord& medium = facts.media.back();
    if (record.stepOpen && !medium.steps.empty()) {
      StepRecord& step = medium.steps.back();
      step.result = StepResult::kFailed;
      step.firstDifference.clear();
    }
    // Whatever its steps so far say, a medium the run left half done is no good.
    medium.result = MediumResult::kFailed;
    medium.unfinished = true;
  }
  return facts;
}

StoredReportRecord::StoredReportRecord(RepairJournal& journal, std::wstring folder,
                                       ReportLanguage language)
    : journal_(journal),
      folder_(std::move(folder)),
      language_(language),
      owner_(journal.store().Self()) {
  name_ = ReportRecordName(owner_);
}

void StoredReportRecord::Record(const ReportSnapshot& snapshot) {
  ReportRecord record;
  record.owner = owner_;
  record.folder = folder_;
  record.language = language_;
  record.facts = snapshot.facts;
  record.facts.version = ProgramVersion();
  record.mediumOpen = snapshot.mediumOpen;
  record.stepOpen = snapshot.stepOpen;
  RepairJournal::Hold hold(&journal_);
  if (!journal_.Usable()) return;  // nothing is kept; the run goes on
  if (journal_.store().Write(name_, FormatReportRecord(record))) written_ = true;
}

void StoredReportRecord::Remove() {
  if (!written_) return;  // nor is the lock taken
  RepairJournal::Hold hold(&journal_);
  if (journal_.Usable() && journal_.store().Remove(name_)) written_ = false;
}

}  // namespace kestrune
