// The Write page's progress display: rows, status line, title, bars and the burn's timer.
#include <algorithm>
#include <cwchar>

#include "platform/disc_service.h"
#include "wizard/page_write.h"
#include "wizard/string_ids.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune {

void CPage_030_Write::SetRowStatus(const std::wstring& text, int image) {
  ListView& list = wizard_.ui.lists;
  const int row = list.ItemCount(window(), kRows) - 1;
  if (row < 0) return;
  list.SetItemText(window(), kRows, row, 1, text);
  if (image >= 0) list.SetItemImage(window(), kRows, row, image);
}

void CPage_030_Write::SetStatusLine(const std::wstring& text) {
  wizard_.ui.controls.SetText(window(), kStatus, text);
}

void CPage_030_Write::SetTitle(const std::wstring& text) {
  wizard_.ui.controls.SetText(window(), kGroup, text);
}

void CPage_030_Write::SetBar(int position) {
  wizard_.ui.progress.SetPosition(window(), kBar, position);
  if (position >= 0 && position <= 1000) {
    NoteProgress(stepBytes_ / 1000 * static_cast<uint64_t>(position));
  }
}

namespace {

/// "4:05" or "1:02:03".
std::wstring Duration(uint64_t seconds) {
  wchar_t text[32];
  if (seconds >= 3600) {
    std::swprintf(text, 32, L"%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  } else {
    std::swprintf(text, 32, L"%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

}  // namespace

void CPage_030_Write::BeginTimedStep(uint64_t bytes, int stepsAfter) {
  timeLeft_.Reset();
  stepBytes_ = bytes;
  stepsAfter_ = std::max(stepsAfter, 0);
  wizard_.ui.controls.Show(window(), kTimeLeft, false);
}

void CPage_030_Write::NoteProgress(uint64_t bytesDone) {
  if (stepBytes_ == 0) return;
  timeLeft_.Note(wizard_.ui.timers.NowMilliseconds(), std::min(bytesDone, stepBytes_),
                 stepBytes_);
  const auto estimate = timeLeft_.Current();
  if (!estimate || estimate->bytesPerSecond <= 0) return;
  // The steps after this one read or write as many bytes, at about this speed.
  const auto later = static_cast<uint64_t>(static_cast<double>(stepBytes_) *
                                           static_cast<double>(stepsAfter_) /
                                           estimate->bytesPerSecond);
  wchar_t speed[32];
  std::swprintf(speed, 32, L"%.1f", estimate->bytesPerSecond / 1e6);
  wizard_.ui.controls.SetText(window(), kTimeLeft,
                              wizard_.Format(kStr322SpeedAndTimeLeft,
                                             {speed, Duration(estimate->secondsLeft),
                                              Duration(estimate->secondsLeft + later)}));
  wizard_.ui.controls.Show(window(), kTimeLeft, true);
}

int CPage_030_Write::BarPosition() { return wizard_.ui.progress.GetPosition(window(), kBar); }

void CPage_030_Write::ShowMarquee() {
  wizard_.ui.controls.Show(window(), kBar, false);
  wizard_.ui.controls.Show(window(), kMarquee, true);
  wizard_.ui.progress.SetMarquee(window(), kMarquee, true, 100);
}

void CPage_030_Write::StopProgressTimer() {
  if (progressTimer_ == 0) return;
  wizard_.ui.timers.KillTimer(window(), progressTimer_);
  progressTimer_ = 0;
}

void CPage_030_Write::OnWriteAction(uintptr_t action) {
  switch (static_cast<int32_t>(action)) {
    case platform::imapi::kActionWritingData:
      // Only the first writing event of a burn arrives; the timer follows the rest.
      StopProgressTimer();
      if (wizard_.ui.timers.SetTimer(window(), kProgressTimerId, 1000)) {
        progressTimer_ = kProgressTimerId;
      }
      wizard_.ui.controls.Show(window(), kBar, true);
      SetBar(0);
      SetRowStatus(wizard_.Text(kStr311WritingDataMedia));
      SetStatusLine(wizard_.Text(kStr311WritingDataMedia));
      break;
    case platform::imapi::kActionFinalization:
      // The drive's verification reads the disc back: a step of its own.
      BeginTimedStep(mediumBytes_, wizard_.run.compareAfterWrite != 0 ? 1 : 0);
      SetBar(0);
      SetRowStatus(wizard_.Text(kStr317VerifyingMedia));
      SetStatusLine(wizard_.Text(kStr306VerifyingBurnedMedia));
      break;
    case platform::imapi::kActionCompleted:
      SetBar(1000);
      SetRowStatus(wizard_.Text(kStr312FinalizingWrite));
      SetStatusLine(wizard_.Text(kStr312FinalizingWrite));
      break;
    case platform::imapi::kActionVerifying:
      OnVerifying();
      break;
    default:
      break;
  }
}

void CPage_030_Write::OnProgressTimer() {
  const RunContext& run = wizard_.run;
  const uint32_t sectors = run.sectorCount;
  if (sectors == 0) return;
  StopProgressTimer();
  // Finalization has begun: the write's share of the display is over for good.
  if (!run.finalizeTime.IsZero()) return;
  const double percent =
      std::clamp(static_cast<double>(run.lastWrittenLba) * 100.0 / sectors, 0.0, 100.0);
  const int whole = static_cast<int>(percent);
  SetStatusLine(
      wizard_.Format(kStr316WritingDataMediaPercent, {Decimal(static_cast<uint64_t>(whole))}));
  SetBar(whole * 10);
  if (wizard_.ui.timers.SetTimer(window(), kProgressTimerId, 1000)) {
    progressTimer_ = kProgressTimerId;
  }
}

void CPage_030_Write::OnVerifying() {
  const RunContext& run = wizard_.run;
  const int64_t ticks = run.verifyTicks;
  // Every verifying event after the first counts for 50 MiB of the image. 64-bit, and an
  // image under 1 MiB counts as 1 MiB.
  const int64_t imageMB = std::max<int64_t>(run.imageSizeMB, 1);
  const int64_t value = std::clamp<int64_t>((ticks * 50000 - 50000) / imageMB, 0, 990);
  if (ticks >= 2 && BarPosition() > value) return;
  SetStatusLine(wizard_.Format(kStr314VerifyingBurnedMediaPercent,
                               {Decimal(static_cast<uint64_t>(value / 10))}));
  SetBar(static_cast<int>(value));
}

void CPage_030_Write::OnCheckProgress(uintptr_t totalKiB, intptr_t doneKiB) {
  if (totalKiB == 0) {
    if (doneKiB != kCheckStarting) return;
    ShowMarquee();
    SetRowStatus(wizard_.Text(kStr307CheckingFiles));
    SetStatusLine(wizard_.Text(kStr307CheckingFiles));
    return;
  }
  if (!checking_) return;
  // The check keeps its marquee: only the speed and time left follow what it has read.
  const uint64_t total = static_cast<uint64_t>(totalKiB) * 1024;
  if (total != stepBytes_) {
    // The comparison after it reads about as much again.
    BeginTimedStep(total, wizard_.run.compareAfterWrite != 0 ? 1 : 0);
  }
  NoteProgress(static_cast<uint64_t>(std::max<intptr_t>(doneKiB, 0)) * 1024);
}

void CPage_030_Write::OnCompareProgress(uintptr_t phase, intptr_t lParam) {
  ControlView& controls = wizard_.ui.controls;
  switch (phase) {
    case 1:
      controls.Show(window(), kMarquee, false);
      controls.Show(window(), kBar, true);
      SetBar(0);
      SetRowStatus(wizard_.Text(kStr320ComparingFiles));
      SetStatusLine(wizard_.Text(kStr320ComparingFiles));
      break;
    case 2: {
      int64_t value = std::max<int64_t>(static_cast<int32_t>(lParam), 0);
      if (value > 990) {
        if (BarPosition() > 990) return;
        value = 990;
      } else if (value > 1 && BarPosition() > value) {
        return;
      }
      SetStatusLine(wizard_.Format(kStr321ComparingFilesPercent,
                                   {Decimal(static_cast<uint64_t>(value / 10))}));
      SetBar(static_cast<int>(value));
      break;
    }
    case 3:
      SetBar(1000);
      break;
    default:
      break;
  }
}

}  // namespace kestrune
