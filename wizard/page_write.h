#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "wizard/disc_prompt.h"
#include "wizard/page_base.h"
#include "wizard/time_left.h"

namespace kestrune {

/// The Write page (template 107): it drives the whole writing run. It builds a queue of jobs,
/// hands them to the worker one at a time through the sheet, asks for a blank disc before
/// each disc job, shows every job as a row with its status, shows progress on a bar and in a
/// status line, updates the state word and ends the wizard when the queue is done or
/// something fails.
class CPage_030_Write : public CPageBase {
 public:
  static constexpr uint32_t kRows = 1301;
  static constexpr uint32_t kBar = 1302;
  static constexpr uint32_t kGroup = 1303;
  static constexpr uint32_t kMarquee = 1304;
  static constexpr uint32_t kStatus = 1305;
  static constexpr uint32_t kTimeLeft = 1306;
  static constexpr uintptr_t kProgressTimerId = 10;
  /// Row images, in image-list order: new, complete, running or waiting, failed.
  static constexpr uint32_t kIcons[] = {132, 130, 129, 131};
  static constexpr int kImageNew = 0;
  static constexpr int kImageComplete = 1;
  static constexpr int kImageRunning = 2;
  static constexpr int kImageFailed = 3;

  explicit CPage_030_Write(WizardContext& wizard) : CPageBase(wizard, 107) {}
  ~CPage_030_Write() override;

  /// The jobs still to run, the one taken last, and its disc (0 when not a disc job).
  const std::deque<uint32_t>& queue() const { return queue_; }
  uint32_t currentJob() const { return currentJob_; }
  uint32_t currentDisc() const { return currentDisc_; }
  bool allDone() const { return allDone_; }
  /// True between a prompt for a disc and the acceptance of its blank disc.
  bool awaitingDisc() const { return awaitingDisc_; }
  CDlg_030_DriveSpeed* prompt() const { return prompt_.get(); }

 protected:
  bool PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

 private:
  void OnInitDialog();
  void OnDestroy();
  void OnJobStart(uintptr_t step);
  void OnJobEnd(uintptr_t step, intptr_t result);
  void OnDiscJobEnd(uint32_t result);
  void OnBurnFailed();
  void OnPromptDone(uintptr_t ready);
  void OnWriteAction(uintptr_t action);
  void OnProgressTimer();
  void OnVerifying();
  void OnCompareProgress(uintptr_t phase, intptr_t value);
  void OnDeviceEvent(uintptr_t event, intptr_t unitMask);

  /// Takes the next job from the queue (JOB_QUIT when it is empty) and adds its row.
  uint32_t TakeNextJob();
  void PostJob(uint32_t job, intptr_t argument = 0);
  void PromptForDisc(uintptr_t first);
  void DestroyPrompt();
  void FreeRetiredPrompts();
  /// Marks the disc just written in the state word; the set is complete only when every disc
  /// of it has its mark.
  void MarkDiscWritten(uint32_t disc, bool lastOfQueue);
  /// Ends the wizard with `exitCode` (wizard_exit): no more prompts or messages, then the
  /// sheet's Terminate, which shows string `messageId` when one is given.
  void EndWizard(int exitCode, uint32_t messageId = 0);
  /// Ends the wizard after message `messageId` shown with `text` (its inserts filled in).
  void EndWizard(int exitCode, uint32_t messageId, const std::wstring& text);
  /// The message of a USB job that failed with `result`, its inserts filled in.
  std::pair<uint32_t, std::wstring> UsbFailureMessage(uint32_t result) const;

  void SetRowStatus(const std::wstring& text, int image = -1);
  void SetStatusLine(const std::wstring& text);
  void SetTitle(const std::wstring& text);
  void SetBar(int position);
  int BarPosition();
  void ShowMarquee();
  void StopProgressTimer();
  /// A new step of `bytes` bytes, with `stepsAfter` steps of as many bytes after it on the
  /// same medium: the speed and time left start over.
  void BeginTimedStep(uint64_t bytes, int stepsAfter);
  /// Notes the bytes done of the step for the speed and time left, and shows them when known.
  void NoteProgress(uint64_t bytesDone);
  /// The MD5 check's progress (WM_CHECK_PROGRESS): its start, or the KiB read of the total.
  void OnCheckProgress(uintptr_t totalKiB, intptr_t doneKiB);
  std::wstring DiscTitle() const;

  std::deque<uint32_t> queue_;
  uint32_t currentJob_ = 0;
  uint32_t currentDisc_ = 0;
  uint32_t discCount_ = 0;
  bool allDone_ = false;
  bool awaitingDisc_ = false;
  uintptr_t progressTimer_ = 0;
  TimeLeftEstimator timeLeft_;
  uint64_t stepBytes_ = 0;
  uint64_t mediumBytes_ = 0;  ///< the images of the medium being written
  int stepsAfter_ = 0;
  /// Between the MD5 check's start and the next step's: its progress counts only then.
  bool checking_ = false;
  /// Disc marks (as in the state word) that count towards a complete set: those a started
  /// DVD-R DL set brought along, and those written in this run.
  uint32_t completedDiscs_ = 0;
  std::unique_ptr<CDlg_030_DriveSpeed> prompt_;
  /// Prompts destroyed while their procedure still ran; freed once it has returned.
  std::vector<std::unique_ptr<CDlg_030_DriveSpeed>> retiredPrompts_;
};

}  // namespace kestrune
