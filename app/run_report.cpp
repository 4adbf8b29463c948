#include "app/run_report.h"

#include <cstddef>
#include <string>
#include <utility>

namespace kestrune {

namespace {

// Indexed by the enumerations' values.
constexpr const char* kMediumKindWords[] = {"disc", "usb"};
constexpr const char* kMediumResultWords[] = {"written", "failed", "cancelled"};
constexpr const char* kReportStepWords[] = {"write", "burnVerification", "md5Check",
                                            "comparison"};
constexpr const char* kStepResultWords[] = {"passed", "failed", "skipped", "cancelled"};

template <typename Enum, size_t N>
bool ParseWord(const char* const (&words)[N], const std::string& word, Enum& value) {
  for (size_t i = 0; i < N; ++i) {
    if (word == words[i]) {
      value = static_cast<Enum>(i);
      return true;
    }
  }
  return false;
}

}  // namespace

const char* MediumKindWord(MediumKind kind) {
  return kMediumKindWords[static_cast<size_t>(kind)];
}
const char* MediumResultWord(MediumResult result) {
  return kMediumResultWords[static_cast<size_t>(result)];
}
const char* ReportStepWord(ReportStep step) { return kReportStepWords[static_cast<size_t>(step)]; }
const char* StepResultWord(StepResult result) {
  return kStepResultWords[static_cast<size_t>(result)];
}
bool ParseMediumKindWord(const std::string& word, MediumKind& kind) {
  return ParseWord(kMediumKindWords, word, kind);
}
bool ParseMediumResultWord(const std::string& word, MediumResult& result) {
  return ParseWord(kMediumResultWords, word, result);
}
bool ParseReportStepWord(const std::string& word, ReportStep& step) {
  return ParseWord(kReportStepWords, word, step);
}
bool ParseStepResultWord(const std::string& word, StepResult& result) {
  return ParseWord(kStepResultWords, word, result);
}


MediumResult ResultOfSteps(const std::vector<StepRecord>& steps) {
  bool failed = false;
  for (const StepRecord& step : steps) {
    if (step.result == StepResult::kCancelled) return MediumResult::kCancelled;
    failed = failed || step.result == StepResult::kFailed;
  }
  return failed || steps.empty() ? MediumResult::kFailed : MediumResult::kWritten;
}

RunReport::RunReport(std::function<SystemTime()> now) : now_(std::move(now)) {}

void RunReport::SetRun(std::wstring label, uint32_t stateWordBefore) {
  const SystemTime now = now_();
  platform::MutexLock lock(mutex_);
  facts_.label = std::move(label);
  facts_.stateWordBefore = stateWordBefore;
  facts_.runStarted = now;
}

void RunReport::SetRecorder(ReportRecorder* recorder) {
  platform::MutexLock order(recordMutex_);
  recorder_ = recorder;
}

void RunReport::Record() {
  platform::MutexLock order(recordMutex_);
  if (recorder_ == nullptr) return;
  ReportSnapshot snapshot;
  {
    platform::MutexLock lock(mutex_);
    snapshot.facts = facts_;
    snapshot.mediumOpen = mediumOpen_;
    snapshot.stepOpen = stepOpen_;
  }
  recorder_->Record(snapshot);
}

void RunReport::BeginMedium(MediumKind kind, uint32_t number, uint32_t of, std::wstring device,
                            uint64_t bytes) {
  const SystemTime now = now_();
  {
    platform::MutexLock lock(mutex_);
    MediumRecord medium;
    medium.kind = kind;
    medium.number = number;
    medium.of = of;
    medium.device = std::move(device);
    medium.started = now;
    medium.bytes = bytes;
    facts_.media.push_back(std::move(medium));
    mediumOpen_ = true;
    stepOpen_ = false;
    mediumStartMs_ = SystemTimeToMilliseconds(now);
  }
  Record();
}

void RunReport::BeginStep(ReportStep name) {
  const uint64_t now = NowMs();
  {
    platform::MutexLock lock(mutex_);
    if (!mediumOpen_) return;
    StepRecord step;
    step.name = name;
    facts_.media.back().steps.push_back(std::move(step));
    stepOpen_ = true;
    stepCancelled_ = false;
    stepStartMs_ = now;
  }
  Record();
}

void RunReport::NoteCovered(uint64_t files, uint64_t bytes) {
  platform::MutexLock lock(mutex_);
  if (!stepOpen_) return;
  StepRecord& step = facts_.media.back().steps.back();
  step.files = files;
  step.bytes = bytes;
}

void RunReport::NoteFirstDifference(std::wstring what) {
  platform::MutexLock lock(mutex_);
  if (!stepOpen_) return;
  StepRecord& step = facts_.media.back().steps.back();
  if (step.firstDifference.empty()) step.firstDifference = std::move(what);
}

void RunReport::NoteCancelled() {
  platform::MutexLock lock(mutex_);
  stepCancelled_ = stepOpen_;
}

void RunReport::EndStep(StepResult result) {
  const uint64_t now = NowMs();
  {
    platform::MutexLock lock(mutex_);
    if (!stepOpen_) return;
    StepRecord& step = facts_.media.back().steps.back();
    step.result = stepCancelled_ && result == StepResult::kFailed ? StepResult::kCancelled : result;
    step.milliseconds = now > stepStartMs_ ? now - stepStartMs_ : 0;
    // Only a failure names a difference.
    if (step.result != StepResult::kFailed) step.firstDifference.clear();
    stepOpen_ = false;
  }
  Record();
}

void RunReport::AddStep(const StepRecord& step) {
  {
    platform::MutexLock lock(mutex_);
    if (!mediumOpen_ || stepOpen_) return;
    facts_.media.back().steps.push_back(step);
  }
  Record();
}

void RunReport::EndMedium() {
  const uint64_t now = NowMs();
  {
    platform::MutexLock lock(mutex_);
    if (!mediumOpen_) return;
    MediumRecord& medium = facts_.media.back();
    if (stepOpen_) medium.steps.back().result = StepResult::kCancelled;
    medium.result = ResultOfSteps(medium.steps);
    medium.milliseconds = now > mediumStartMs_ ? now - mediumStartMs_ : 0;
    mediumOpen_ = false;
    stepOpen_ = false;
  }
  Record();
}

bool RunReport::HasMedia() const {
  platform::MutexLock lock(mutex_);
  return !facts_.media.empty();
}

ReportFacts RunReport::Facts(std::optional<uint32_t> stateWordAfter) const {
  const uint64_t now = NowMs();
  platform::MutexLock lock(mutex_);
  ReportFacts facts = facts_;
  facts.stateWordAfter = stateWordAfter;
  if (mediumOpen_) {
    // A worker left behind in the middle of a medium: what it was doing did not end.
    MediumRecord& medium = facts.media.back();
    if (stepOpen_) {
      medium.steps.back().result = StepResult::kCancelled;
      medium.steps.back().milliseconds = now > stepStartMs_ ? now - stepStartMs_ : 0;
    }
    medium.result = MediumResult::kCancelled;
    medium.milliseconds = now > mediumStartMs_ ? now - mediumStartMs_ : 0;
  }
  return facts;
}

}  // namespace kestrune
