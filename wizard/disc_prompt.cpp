#include "wizard/disc_prompt.h"

#include "devices/recorders.h"
#include "wizard/information_dialogs.h"
#include "wizard/string_ids.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune {

bool CDlg_030_DriveSpeed::promptBusy = false;

CDlg_030_DriveSpeed::CDlg_030_DriveSpeed(WizardContext& wizard, WindowHandle owner)
    : wizard_(wizard) {
  const WindowHandle sheet = wizard_.run.sheetWnd;
  if (sheet != nullptr && wizard_.ui.windows.IsWindowEnabled(sheet)) {
    wizard_.ui.windows.EnableWindow(sheet, false);
    disabledSheet_ = true;
  }
  static_cast<void>(wizard_.ui.dialogs.CreateModeless(*this, kTemplateDiscPrompt, owner));
}

CDlg_030_DriveSpeed::~CDlg_030_DriveSpeed() {
  destroyRequested_ = true;
  if (window() != nullptr) wizard_.ui.windows.DestroyWindow(window());
  ReleaseSheet();
}

void CDlg_030_DriveSpeed::ReleaseSheet() {
  if (!disabledSheet_) return;
  disabledSheet_ = false;
  const WindowHandle sheet = wizard_.run.sheetWnd;
  if (sheet != nullptr) wizard_.ui.windows.EnableWindow(sheet, true);
}

bool CDlg_030_DriveSpeed::RequestDestroy() {
  if (!destroyRequested_) {
    destroyRequested_ = true;
    ReleaseSheet();
    if (inProcedure_) {
      if (runningScan_ != nullptr && runningScan_->window() != nullptr) {
        wizard_.ui.dialogs.EndModal(runningScan_->window(), 0);
      }
    } else if (window() != nullptr) {
      wizard_.ui.windows.DestroyWindow(window());
    }
  }
  return !inProcedure_;
}

bool CDlg_030_DriveSpeed::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                                    intptr_t& result) {
  switch (message) {
    case wm::kInitDialog:
      result = 1;
      return true;
    case WM_PROMPT_DISC:
      OnPromptDisc(wParam, lParam);
      result = 0;
      return true;
    default:
      return false;
  }
}

void CDlg_030_DriveSpeed::PostToSheet(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const WindowHandle sheet = wizard_.run.sheetWnd;
  if (sheet != nullptr) static_cast<void>(wizard_.ui.post.Post(sheet, message, wParam, lParam));
}

void CDlg_030_DriveSpeed::OnPromptDisc(uintptr_t wParam, intptr_t lParam) {
  if (promptBusy || destroyRequested_) return;
  promptBusy = true;
  inProcedure_ = true;
  const WindowHandle self = window();
  wizard_.ui.windows.ShowWindow(self, false);
  if (lParam != 0) {
    discNumber = (static_cast<uint32_t>(lParam) >> 8) & 0xff;
    discCount = static_cast<uint32_t>(lParam) & 0xff;
  }
  const std::wstring number = Decimal(discNumber);
  const std::wstring count = Decimal(discCount);
  wizard_.ui.windows.SetCaption(
      self, wizard_.Format(kStr350CreateRecoveryDisc, {number, L"", L"", count}));

  CDlg_030_ScanMedia scan(wizard_);
  scan.text = wizard_.Text(kStr154RecognizingDriveDisc);
  runningScan_ = &scan;
  const intptr_t found = scan.DoModal();
  runningScan_ = nullptr;

  if (StillAlive()) {
    if (found == 1) {
      PostToSheet(WM_PROMPT_DISC_DONE, 1, 0);
    } else {
      bool alive = true;
      if (wParam != 0) {
        // Every attempt after the first says first why the last disc was refused.
        static constexpr uint32_t kReasons[] = {0, kStr465NoDiscInDrive, kStr466DiscAlreadyHasData,
                                                kStr467IncorrectDiscType, kStr468DiscCannotBeUsed};
        const auto check = static_cast<uint32_t>(scan.mediaCheck);
        if (check >= MEDIA_NO_DISC && check <= MEDIA_UNUSABLE) {
          wizard_.Message(kReasons[check], wm::kMbOk);
          alive = StillAlive();
        }
      }
      if (alive) {
        const std::wstring letter(1, wizard_.run.targetDriveLetter);
        const std::wstring media = MediaName(wizard_.run.mediaType, wizard_.language);
        const int answer = wizard_.Message(
            kStr469InsertBlankDiscIntoDrive,
            wizard_.Format(kStr469InsertBlankDiscIntoDrive, {number, letter, media, count}),
            wm::kMbOkCancel);
        if (StillAlive()) {
          if (answer == wm::kIdOk) {
            if (wizard_.ui.windows.IsWindow(self))
              static_cast<void>(wizard_.ui.post.Post(self, WM_PROMPT_DISC, 1, 0));
          } else {
            PostToSheet(WM_PROMPT_DISC_DONE, 0, 0);
          }
        }
      }
    }
  }
  promptBusy = false;
  inProcedure_ = false;
  if (destroyRequested_ && window() != nullptr) wizard_.ui.windows.DestroyWindow(window());
}

}  // namespace kestrune
