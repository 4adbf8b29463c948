#pragma once

#include <cstdint>
#include <string>

#include "wizard/view_ports.h"
#include "wizard/wizard_context.h"

namespace kestrune {

/// The small waiting box of template 122: one line of text next to an icon, system-modal.
/// Subclasses set `text` before the box runs.
class CDlgInformation : public WindowProcedure {
 public:
  static constexpr uint32_t kTextControl = 1502;

  explicit CDlgInformation(WizardContext& wizard) : wizard_(wizard) {}

  /// Runs the box modally, owned by the sheet; the result of its EndModal.
  intptr_t DoModal();

  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

  std::wstring text;

 protected:
  /// The base initialisation: the text goes into control 1502.
  void InitText();
  void EndDialog(intptr_t result);

  WizardContext& wizard_;
};

/// The disc prompt's box "Recognizing drive and disc": polls the disc in the bound drive (at
/// once, then every 2 s) for up to 30 s. Result 1 when a usable blank disc is in the drive,
/// else 0; `mediaCheck` holds the verdict of the last poll.
class CDlg_030_ScanMedia : public CDlgInformation {
 public:
  static constexpr uintptr_t kTimeoutTimerId = 1;
  static constexpr uintptr_t kPollTimerId = 2;

  explicit CDlg_030_ScanMedia(WizardContext& wizard) : CDlgInformation(wizard) {}

  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

  int32_t mediaCheck = 0;
  uintptr_t pollTimer = 0;
  uintptr_t timeoutTimer = 0;
};

/// The Drive page's box "Recognizing drive and disc": asks every second what the drive
/// `scanLetter` and its disc can do, giving up after 30 failed attempts. Result: the drive's
/// supported media mask (0 when nothing usable or given up); `currentMediaCode` holds the
/// disc's media code. One object serves the whole run; each run gets its own 30 attempts.
class CScanMediaDlg : public CDlgInformation {
 public:
  static constexpr uintptr_t kPollTimerId = 2;
  static constexpr int32_t kMaxAttempts = 30;

  explicit CScanMediaDlg(WizardContext& wizard) : CDlgInformation(wizard) {}

  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

  int32_t retryCount = 0;
  uintptr_t pollTimer = 0;
  wchar_t scanLetter = 0;
  uint32_t currentMediaCode = 0;
};

}  // namespace kestrune
