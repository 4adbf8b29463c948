#include "wizard/page_write.h"

#include "wizard/drive_entries.h"
#include "wizard/string_ids.h"
#include "wizard/vantor_sheet.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune {
namespace {

bool IsDiscJob(uint32_t job) { return job >= JOB_WRITE_DISC_1 && job <= JOB_WRITE_DISC_9; }

}  // namespace

CPage_030_Write::~CPage_030_Write() {
  // The prompt's destruction enables the sheet again; do it while the page still knows it.
  prompt_.reset();
  retiredPrompts_.clear();
}

bool CPage_030_Write::PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam,
                               intptr_t& result) {
  FreeRetiredPrompts();
  switch (message) {
    case wm::kInitDialog:
      OnInitDialog();
      result = 1;
      return true;
    case wm::kDestroy:
      OnDestroy();
      return false;
    case wm::kTimer:
      if (progressTimer_ != 0 && wParam == progressTimer_) OnProgressTimer();
      return false;
    case WM_JOB_START:
      OnJobStart(wParam);
      break;
    case WM_JOB_END:
      OnJobEnd(wParam, lParam);
      break;
    case WM_PROMPT_DISC_DONE:
      OnPromptDone(wParam);
      break;
    case WM_WRITE_ACTION:
      OnWriteAction(wParam);
      break;
    case WM_COMPARE_PROGRESS:
      OnCompareProgress(wParam, lParam);
      break;
    case WM_CHECK_PROGRESS:
      OnCheckProgress(wParam, lParam);
      break;
    case WM_DEVICE_EVENT:
      OnDeviceEvent(wParam, lParam);
      break;
    default:
      return false;
  }
  result = 0;
  return true;
}

void CPage_030_Write::OnInitDialog() {
  RunContext& run = wizard_.run;
  run.writePageWnd = window();
  PostWizardButtons(0);

  ListView& list = wizard_.ui.lists;
  list.SetImageList(window(), kRows, kIcons);
  const int width = list.ClientWidth(window(), kRows);
  list.InsertColumn(window(), kRows, 0, wizard_.Text(kStr300Task), ColumnAlign::kLeft,
                    width * 60 / 100);
  list.InsertColumn(window(), kRows, 1, wizard_.Text(kStr301Status), ColumnAlign::kCenter,
                    width * 35 / 100);

  queue_.clear();
  queue_.push_back(JOB_PREPARE);
  if (run.mediaType == kMediaUsbDrive) {
    queue_.push_back(JOB_WRITE_USB);
  } else {
    discCount_ = run.sourceCount;
    for (uint32_t i = 0; i < discCount_; ++i) {
      if ((run.discSelMask & (1u << i)) != 0) queue_.push_back(JobWriteDisc(i + 1));
    }
    // Marks brought along count only for a DVD-R DL set that was started before.
    if (disc_state::IsDualLayerSetStarted(run.discState)) {
      completedDiscs_ = disc_state::DiscMarks(run.discState, discCount_);
    }
  }
  queue_.push_back(JOB_FINISH);

  ProgressView& progress = wizard_.ui.progress;
  ControlView& controls = wizard_.ui.controls;
  progress.SetRange(window(), kBar, 0, 1000);
  controls.Show(window(), kBar, true);
  controls.Show(window(), kGroup, true);
  controls.SetText(window(), kStatus, L"");
  controls.Show(window(), kStatus, true);

  PostJob(TakeNextJob());
}

void CPage_030_Write::OnDestroy() {
  DestroyPrompt();
  StopProgressTimer();
  wizard_.ui.lists.DeleteAllItems(window(), kRows);
  if (wizard_.run.writePageWnd == window()) wizard_.run.writePageWnd = nullptr;
}

uint32_t CPage_030_Write::TakeNextJob() {
  uint32_t job = JOB_QUIT;
  if (!queue_.empty()) {
    job = queue_.front();
    queue_.pop_front();
  }
  currentJob_ = job;
  currentDisc_ = 0;
  std::wstring task;
  if (job == JOB_PREPARE) {
    task = wizard_.Text(kStr302Preparing);
  } else if (IsDiscJob(job)) {
    currentDisc_ = job - JobWriteDisc(0);
    task = DiscTitle();
  } else if (job == JOB_WRITE_USB) {
    task = wizard_.Format(kStr263WritingRecoveryDisc, {L"1"});
  } else if (job == JOB_FINISH) {
    task = wizard_.Text(kStr303Close);
  }
  if (job != JOB_QUIT) {
    ListView& list = wizard_.ui.lists;
    list.InsertItem(window(), kRows, list.ItemCount(window(), kRows), task, kImageNew);
  }
  return job;
}

std::wstring CPage_030_Write::DiscTitle() const {
  return wizard_.Format(kStr319WritingRecoveryDiscOfSet,
                        {Decimal(currentDisc_), L"", L"", Decimal(discCount_)});
}

void CPage_030_Write::PostJob(uint32_t job, intptr_t argument) {
  const WindowHandle sheet = Sheet();
  if (sheet != nullptr)
    static_cast<void>(wizard_.ui.post.Post(sheet, WM_JOB_REQUEST, job, argument));
}

void CPage_030_Write::PromptForDisc(uintptr_t first) {
  if (!prompt_) prompt_ = std::make_unique<CDlg_030_DriveSpeed>(wizard_, window());
  awaitingDisc_ = true;
  const auto numbers = static_cast<intptr_t>((discCount_ & 0xff) | (currentDisc_ << 8));
  if (prompt_->window() != nullptr) {
    static_cast<void>(wizard_.ui.post.Post(prompt_->window(), WM_PROMPT_DISC, first, numbers));
  }
  SetRowStatus(wizard_.Text(kStr309InsertBlankDisc), kImageRunning);
  SetTitle(DiscTitle());
  SetStatusLine(wizard_.Text(kStr309InsertBlankDisc));
}

void CPage_030_Write::DestroyPrompt() {
  if (!prompt_) return;
  if (prompt_->RequestDestroy()) {
    prompt_.reset();
  } else {
    retiredPrompts_.push_back(std::move(prompt_));
  }
}

void CPage_030_Write::FreeRetiredPrompts() {
  std::erase_if(retiredPrompts_, [](const auto& prompt) { return !prompt->InProcedure(); });
}

void CPage_030_Write::OnPromptDone(uintptr_t ready) {
  // One disc job per prompt: a late or repeated answer finds the page no longer waiting.
  if (!awaitingDisc_) return;
  if (ready == 1) {
    awaitingDisc_ = false;
    PostJob(currentJob_, static_cast<intptr_t>((discCount_ << 16) | currentDisc_));
    return;
  }
  const int answer =
      wizard_.Message(kStr401StopCreationTakesAWhile, wm::kMbYesNo | wm::kMbDefButton2);
  if (answer == wm::kIdYes) {
    EndWizard(wizard_exit::kAborted);
  } else if (prompt_ && prompt_->window() != nullptr && awaitingDisc_) {
    static_cast<void>(wizard_.ui.post.Post(prompt_->window(), WM_PROMPT_DISC, 1, 0));
  }
}

void CPage_030_Write::OnJobStart(uintptr_t step) {
  checking_ = step == STEP_USB_MD5_CHECK;
  switch (step) {
    case STEP_PREPARE:
      SetBar(0);
      SetTitle(wizard_.Text(kStr302Preparing));
      SetRowStatus(wizard_.Text(kStr308CreatingDiscImages), kImageRunning);
      SetStatusLine(wizard_.Text(kStr308CreatingDiscImages));
      break;
    case STEP_DISC_JOB: {
      const RunContext& run = wizard_.run;
      const uint32_t disc = currentDisc_;
      mediumBytes_ = disc >= 1 && disc <= kMaxSources ? run.sources[disc - 1].sizeBytes : 0;
      BeginTimedStep(mediumBytes_,
                     (run.noBurnVerify == 0 ? 1 : 0) + (run.compareAfterWrite != 0 ? 1 : 0));
      SetBar(0);
      SetTitle(DiscTitle());
      SetRowStatus(wizard_.Text(kStr310InitializingHardware), kImageRunning);
      SetStatusLine(wizard_.Text(kStr310InitializingHardware));
      break;
    }
    case STEP_USB_JOB: {
      const RunContext& run = wizard_.run;
      uint64_t bytes = 0;
      for (uint32_t i = 0; i < run.sourceCount && i < kMaxSources; ++i) {
        bytes += run.sources[i].sizeBytes;
      }
      // The check reads every file once more; the comparison unpacks and reads them again.
      mediumBytes_ = bytes;
      BeginTimedStep(bytes, 1 + (run.compareAfterWrite != 0 ? 1 : 0));
      SetBar(0);
      SetTitle(wizard_.Format(kStr263WritingRecoveryDisc, {L"1"}));
      SetRowStatus(wizard_.Text(kStr318WritingDataUsbDrive), kImageRunning);
      SetStatusLine(wizard_.Text(kStr318WritingDataUsbDrive));
      break;
    }
    case STEP_FINISH:
      BeginTimedStep(0, 0);
      SetTitle(wizard_.Text(kStr313Closing));
      SetRowStatus(wizard_.Text(kStr313Closing), kImageRunning);
      SetStatusLine(wizard_.Text(kStr313Closing));
      break;
    case STEP_DISC_COMPARE:
    case STEP_USB_COMPARE:
      BeginTimedStep(mediumBytes_, 0);
      ShowMarquee();
      SetRowStatus(wizard_.Text(kStr320ComparingFiles));
      SetStatusLine(wizard_.Text(kStr320ComparingFiles));
      break;
    case STEP_USB_MD5_CHECK:
      // The figures come with the check's progress, which knows how much it will read.
      BeginTimedStep(0, 0);
      SetRowStatus(wizard_.Text(kStr307CheckingFiles));
      break;
    case STEP_BURN:
      DestroyPrompt();
      break;
    default:
      break;
  }
}

void CPage_030_Write::OnJobEnd(uintptr_t step, intptr_t lParam) {
  const auto result = static_cast<uint32_t>(lParam);
  switch (step) {
    case STEP_PREPARE:
      if (result == RESULT_OK) {
        SetRowStatus(wizard_.Text(kStr304Complete), kImageComplete);
        SetStatusLine(wizard_.Text(kStr304Complete));
        const uint32_t job = TakeNextJob();
        if (IsDiscJob(job)) {
          PromptForDisc(0);
        } else {
          PostJob(job);
        }
      } else if (result != RESULT_STOPPED) {
        EndWizard(wizard_exit::kAborted);
      }
      break;
    case STEP_DISC_JOB:
      StopProgressTimer();
      OnDiscJobEnd(result);
      break;
    case STEP_USB_JOB:
      if (result == RESULT_OK) {
        wizard_.run.discState |= disc_state::kSetComplete;
        PostJob(JOB_FINISH);
      } else if (result != RESULT_STOPPED) {
        const auto [id, text] = UsbFailureMessage(result);
        EndWizard(wizard_exit::kAborted, id, text);
      }
      break;
    case STEP_FINISH:
      SetRowStatus(wizard_.Text(kStr304Complete), kImageComplete);
      SetStatusLine(wizard_.Text(kStr304Complete));
      wizard_.ui.controls.Show(window(), kBar, true);
      SetBar(1000);
      PostJob(TakeNextJob());
      break;
    case STEP_QUIT:
      EndWizard(wizard_exit::kComplete);
      break;
    case STEP_USB_WRITE_PROGRESS:
      SetBar(static_cast<int>(lParam));
      break;
    default:
      break;
  }
}

void CPage_030_Write::OnDiscJobEnd(uint32_t result) {
  if (result == RESULT_OK) {
    SetRowStatus(wizard_.Text(kStr304Complete), kImageComplete);
    SetStatusLine(wizard_.Text(kStr304Complete));
    const uint32_t disc = currentDisc_;
    const uint32_t job = TakeNextJob();
    MarkDiscWritten(disc, job == JOB_FINISH);
    const RunContext& run = wizard_.run;
    wizard_.Message(kStr406RecoveryDiscComplete,
                    wizard_.Format(kStr406RecoveryDiscComplete,
                                   {Decimal(disc), std::wstring(1, run.targetDriveLetter),
                                    run.discLabel.str(), L"", Decimal(discCount_)}),
                    wm::kMbOk);
    if (IsDiscJob(job)) {
      PromptForDisc(1);
    } else {
      PostJob(job);
    }
  } else if (result == RESULT_COMPARE_MISMATCH) {
    EndWizard(wizard_exit::kAborted, kStr483ProblemsInFileComparisons);
  } else if (result == RESULT_BURN_FAILED) {
    OnBurnFailed();
  } else if (result != RESULT_STOPPED) {
    EndWizard(wizard_exit::kAborted);
  }
}

void CPage_030_Write::MarkDiscWritten(uint32_t disc, bool lastOfQueue) {
  RunContext& run = wizard_.run;
  uint32_t state = disc_state::WithDiscWritten(run.discState, disc, run.mediaType);
  completedDiscs_ |= disc_state::DiscWritten(disc);
  if (lastOfQueue) {
    allDone_ = true;
    const WindowHandle sheet = Sheet();
    if (sheet != nullptr) wizard_.ui.controls.Enable(sheet, wm::kIdCancel, false);
    // A partial set ("/P" with discs left out) is not complete.
    if (disc_state::AllDiscsWritten(completedDiscs_, discCount_)) state |= disc_state::kSetComplete;
  }
  run.discState = state;
}

void CPage_030_Write::OnBurnFailed() {
  // The user has already chosen to leave: the failure is the cancelled write.
  if (wizard_.imapi.exitRequested != 0) return;
  SetRowStatus(wizard_.Text(kStr305Failed), kImageFailed);
  SetStatusLine(wizard_.Text(kStr305Failed));
  const int retry = wizard_.Message(kStr471DiscWriteFailed,
                                    wizard_.Format(kStr471DiscWriteFailed, {Decimal(currentDisc_)}),
                                    wm::kMbYesNo | wm::kMbDefButton2);
  if (ignoreAppMessages != 0) return;
  if (retry == wm::kIdYes) {
    PromptForDisc(1);
    return;
  }
  const int stop =
      wizard_.Message(kStr401StopCreationTakesAWhile, wm::kMbYesNo | wm::kMbDefButton2);
  if (ignoreAppMessages != 0) return;
  if (stop == wm::kIdYes) {
    EndWizard(wizard_exit::kStoppedAfterFailedWrite);
  } else {
    PostToSelf(WM_JOB_END, STEP_DISC_JOB, static_cast<intptr_t>(RESULT_BURN_FAILED));
  }
}

void CPage_030_Write::OnDeviceEvent(uintptr_t event, intptr_t unitMask) {
  const uint32_t target = DriveLetterBit(wizard_.run.targetDriveLetter);
  if ((static_cast<uint32_t>(unitMask) & target) == 0) return;
  if (event == kDeviceEventVolumeRemoved && !allDone_ && wizard_.run.mediaType != kMediaUsbDrive &&
      wizard_.imapi.burning == 0) {
    EndWizard(wizard_exit::kAborted, kStr473DvdDriveDisconnected);
  } else if (event == kDeviceEventMediaRemoved && prompt_ && awaitingDisc_ &&
             prompt_->window() != nullptr) {
    static_cast<void>(wizard_.ui.post.Post(prompt_->window(), WM_PROMPT_DISC, 1, 0));
  }
}

void CPage_030_Write::EndWizard(int exitCode, uint32_t messageId) {
  EndWizard(exitCode, messageId, messageId != 0 ? wizard_.Text(messageId) : std::wstring());
}

void CPage_030_Write::EndWizard(int exitCode, uint32_t messageId, const std::wstring& text) {
  DestroyPrompt();
  awaitingDisc_ = false;
  ignoreAppMessages = 1;
  CVantorSheet* sheet = wizard_.run.sheet;
  if (sheet != nullptr) sheet->Terminate(exitCode, messageId, text);
}

std::pair<uint32_t, std::wstring> CPage_030_Write::UsbFailureMessage(uint32_t result) const {
  const JobProblem& problem = wizard_.run.problem;
  const auto number = [](uint64_t value) { return std::to_wstring(value); };
  const auto with = [this](uint32_t id, std::initializer_list<std::wstring> inserts) {
    return std::pair{id, wizard_.Format(id, inserts)};
  };
  const bool marked = wizard_.run.usbMarkedIncomplete != 0;
  switch (result) {
    case RESULT_USB_DRIVE_CHANGED:
      return with(kStr276DriveDisconnected, {});
    case RESULT_USB_TOOLS_FAILED:
      return with(kStr485SevenZipCouldNotStart, {});
    case RESULT_USB_NOT_AN_ARCHIVE:
      return with(kStr486ImageIsNoArchive, {problem.name.str()});
    case RESULT_USB_SET_TOO_LARGE:
      return with(kStr487SetDoesNotFitPartition, {number(problem.needed), number(problem.available)});
    case RESULT_USB_FILE_TOO_LARGE:
      return with(kStr488FileTooLargeForFat32, {problem.name.str(), problem.place.str()});
    case RESULT_WORK_DRIVE_TOO_SMALL:
      return with(kStr489NotEnoughSpaceToCompareUsb, {number(problem.needed), problem.place.str()});
    case RESULT_WORK_DRIVE_FULL:
      return with(kStr490ComputerDiskFullWhileComparing, {problem.place.str()});
    case RESULT_CHECK_FAILED:
      return with(marked ? kStr492FileCheckFailedMarkedIncomplete : kStr482FileCheckFailed, {});
    case RESULT_COMPARE_MISMATCH:
      return with(marked ? kStr493ComparisonProblemsMarkedIncomplete
                         : kStr483ProblemsInFileComparisons,
                  {});
    default:
      return with(marked ? kStr491UsbWriteFailedMarkedIncomplete : kStr475UsbDriveWriteFailed, {});
  }
}

}  // namespace kestrune
