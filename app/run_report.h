#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/system_time.h"
#include "platform/mutex.h"

namespace kestrune {

/// What a run wrote and checked, medium by medium, for the verification report that start-up
/// leaves in the image folder when the sheet closes (app/report_files.h).

enum class MediumKind { kDisc, kUsb };
enum class MediumResult { kWritten, kFailed, kCancelled };
enum class ReportStep { kWrite, kBurnVerification, kMd5Check, kComparison };
enum class StepResult { kPassed, kFailed, kSkipped, kCancelled };

struct StepRecord {
  ReportStep name = ReportStep::kWrite;
  StepResult result = StepResult::kPassed;
  uint64_t files = 0;  ///< 0 where the step does not count files (the writing)
  uint64_t bytes = 0;
  uint64_t milliseconds = 0;
  /// For a failed check: the first file found different, relative to the medium's root, or
  /// the check tool's own words on it. Empty otherwise.
  std::wstring firstDifference;
};

struct MediumRecord {
  MediumKind kind = MediumKind::kDisc;
  uint32_t number = 1;  ///< the disc's number in the set; 1 for the USB drive
  uint32_t of = 1;      ///< discs in the set; 1 for the USB drive
  std::wstring device;  ///< the recorder's or the stick's letter and what names it
  MediumResult result = MediumResult::kFailed;
  SystemTime started;
  uint64_t milliseconds = 0;
  uint64_t bytes = 0;  ///< the image bytes written onto it
  std::vector<StepRecord> steps;
  /// The run was killed while it worked on this medium: its state is unknown.
  bool unfinished = false;
};

struct ReportFacts {
  std::wstring label;
  std::string version;
  uint32_t stateWordBefore = 0;
  std::optional<uint32_t> stateWordAfter;  ///< none when the run never showed its result
  std::vector<MediumRecord> media;
  /// The run ended without finishing (a power cut, say); its report was written at the next
  /// start.
  bool interrupted = false;
  /// When the run began (SetRun).
  SystemTime runStarted;
};

/// The facts at a step boundary, with whether the last medium and its last step are open.
struct ReportSnapshot {
  ReportFacts facts;
  bool mediumOpen = false;
  bool stepOpen = false;
};

/// Keeps the facts so far somewhere that outlives the process.
class ReportRecorder {
 public:
  virtual ~ReportRecorder() = default;
  virtual void Record(const ReportSnapshot& snapshot) = 0;
};

/// The words for these in the report's JSON, which programs read, and in the run's record in
/// the journal store, which the next start reads: neither may change. Parse*Word gives false
/// for any other word.
const char* MediumKindWord(MediumKind kind);
const char* MediumResultWord(MediumResult result);
const char* ReportStepWord(ReportStep step);
const char* StepResultWord(StepResult result);
bool ParseMediumKindWord(const std::string& word, MediumKind& kind);
bool ParseMediumResultWord(const std::string& word, MediumResult& result);
bool ParseReportStepWord(const std::string& word, ReportStep& step);
bool ParseStepResultWord(const std::string& word, StepResult& result);

/// The result of a medium's steps: cancelled when one was, written when every step that ran
/// passed, failed otherwise.
MediumResult ResultOfSteps(const std::vector<StepRecord>& steps);

/// Collects the report's facts while the worker thread writes and checks; start-up reads
/// them once the worker has ended (or been left behind: then the medium it was on is missing
/// its end, and counts as cancelled). All members may be called from any thread.
class RunReport {
 public:
  /// `now` gives the time of day; the default is the system's.
  explicit RunReport(std::function<SystemTime()> now = CurrentSystemTime);

  void SetRun(std::wstring label, uint32_t stateWordBefore);
  /// From now on the facts are handed to `recorder` at every step boundary (not while a step
  /// runs); null stops that, after a hand-over under way has finished.
  void SetRecorder(ReportRecorder* recorder);

  /// A medium begins: every step until the next BeginMedium belongs to it.
  void BeginMedium(MediumKind kind, uint32_t number, uint32_t of, std::wstring device,
                   uint64_t bytes);
  void BeginStep(ReportStep name);
  /// What the running step covered so far (set, not added).
  void NoteCovered(uint64_t files, uint64_t bytes);
  /// The first difference the running step found; later ones are ignored.
  void NoteFirstDifference(std::wstring what);
  /// The running step was cancelled at the user's request: a failure it then ends with is
  /// the cancel's doing (a burn the recorder broke off), and is reported as cancelled.
  void NoteCancelled();
  void EndStep(StepResult result);
  /// A step that ran inside another (the verification of a burn) or did not run at all,
  /// with its own figures.
  void AddStep(const StepRecord& step);
  /// The medium is done; its result follows from its steps.
  void EndMedium();

  /// Whether any medium was begun.
  bool HasMedia() const;
  /// The facts so far; a medium or step still open is closed as cancelled.
  ReportFacts Facts(std::optional<uint32_t> stateWordAfter) const;

 private:
  uint64_t NowMs() const { return SystemTimeToMilliseconds(now_()); }
  /// Hands the facts as they are now to the recorder.
  void Record();

  std::function<SystemTime()> now_;
  /// Taken before `mutex_`: keeps the recorder and the order of the hand-overs.
  platform::Mutex recordMutex_;
  ReportRecorder* recorder_ KESTRUNE_GUARDED_BY(recordMutex_) = nullptr;
  mutable platform::Mutex mutex_;
  ReportFacts facts_ KESTRUNE_GUARDED_BY(mutex_);
  bool mediumOpen_ KESTRUNE_GUARDED_BY(mutex_) = false;
  bool stepOpen_ KESTRUNE_GUARDED_BY(mutex_) = false;
  bool stepCancelled_ KESTRUNE_GUARDED_BY(mutex_) = false;
  uint64_t mediumStartMs_ KESTRUNE_GUARDED_BY(mutex_) = 0;
  uint64_t stepStartMs_ KESTRUNE_GUARDED_BY(mutex_) = 0;
};

}  // namespace kestrune
