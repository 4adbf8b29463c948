#include "wizard/information_dialogs.h"

#include "devices/recorders.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune {

intptr_t CDlgInformation::DoModal() {
  return wizard_.ui.dialogs.RunModal(*this, kTemplateInformation, wizard_.run.sheetWnd);
}

bool CDlgInformation::OnMessage(uint32_t message, uintptr_t, intptr_t, intptr_t& result) {
  if (message != wm::kInitDialog) return false;
  InitText();
  result = 1;
  return true;
}

void CDlgInformation::InitText() { wizard_.ui.controls.SetText(window(), kTextControl, text); }

void CDlgInformation::EndDialog(intptr_t result) { wizard_.ui.dialogs.EndModal(window(), result); }

bool CDlg_030_ScanMedia::OnMessage(uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
  TimerView& timers = wizard_.ui.timers;
  switch (message) {
    case wm::kInitDialog:
      InitText();
      result = 1;
      if (!timers.SetTimer(window(), kTimeoutTimerId, 30000)) {
        EndDialog(0);
        return true;
      }
      timeoutTimer = kTimeoutTimerId;
      if (timers.SetTimer(window(), kPollTimerId, 1)) pollTimer = kPollTimerId;
      wizard_.ui.windows.ShowWindow(window(), true);
      return true;
    case wm::kTimer:
      if (timeoutTimer != 0 && wParam == timeoutTimer) {
        EndDialog(0);
      } else if (pollTimer != 0 && wParam == pollTimer) {
        timers.KillTimer(window(), pollTimer);
        pollTimer = 0;
        mediaCheck = static_cast<int32_t>(wizard_.devices.CheckInsertedMedia());
        switch (mediaCheck) {
          case MEDIA_READY:
            EndDialog(1);
            break;
          case MEDIA_NOT_BLANK:
          case MEDIA_WRONG_TYPE:
          case MEDIA_UNUSABLE:
            EndDialog(0);
            break;
          case MEDIA_NO_DISC:
          case MEDIA_RETRY:
            if (timers.SetTimer(window(), kPollTimerId, 2000)) pollTimer = kPollTimerId;
            break;
          default:
            break;
        }
      }
      return false;
    case wm::kDestroy:
      if (pollTimer != 0) timers.KillTimer(window(), pollTimer);
      if (timeoutTimer != 0) timers.KillTimer(window(), timeoutTimer);
      pollTimer = timeoutTimer = 0;
      return false;
    default:
      return false;
  }
}

bool CScanMediaDlg::OnMessage(uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
  TimerView& timers = wizard_.ui.timers;
  switch (message) {
    case wm::kInitDialog:
      InitText();
      result = 1;
      retryCount = 0;
      if (!timers.SetTimer(window(), kPollTimerId, 1000)) {
        EndDialog(0);
        return true;
      }
      pollTimer = kPollTimerId;
      wizard_.ui.windows.ShowWindow(window(), true);
      return true;
    case wm::kTimer:
      if (pollTimer != 0 && wParam == pollTimer) {
        uint32_t mask = 0;
        const platform::HResult hr =
            wizard_.devices.ScanDriveMedia(scanLetter, &mask, &currentMediaCode);
        if (hr == platform::kS_OK) {
          EndDialog(mask);
        } else if (++retryCount >= kMaxAttempts) {
          EndDialog(0);
        }
      }
      return false;
    case wm::kDestroy:
      if (pollTimer != 0) timers.KillTimer(window(), pollTimer);
      pollTimer = 0;
      return false;
    default:
      return false;
  }
}

}  // namespace kestrune
