#pragma once

#include <cstdint>

#include "wizard/view_ports.h"
#include "wizard/wizard_context.h"

namespace kestrune {

class CDlg_030_ScanMedia;

/// The Write page's disc prompt (template 101): a modeless dialog that is never shown. On
/// WM_PROMPT_DISC it checks the disc in the bound drive through its scan box and reports a
/// usable blank disc with WM_PROMPT_DISC_DONE(1) to the sheet, or asks the user for a disc
/// until they cancel (WM_PROMPT_DISC_DONE(0)).
///
/// While the object exists the sheet takes no input: the constructor disables it when it is
/// enabled, and the destruction enables it again.
///
/// Destruction is safe at any time: a destroy request that arrives while the prompt
/// procedure waits in a nested loop (its scan box or a message box) only marks the dialog and
/// ends the scan box; the procedure notices it after the modal call, posts nothing more and
/// destroys the window itself on its way out. The owner keeps the object until InProcedure()
/// is false.
class CDlg_030_DriveSpeed : public WindowProcedure {
 public:
  /// Creates the hidden dialog owned by `owner` (the Write page).
  CDlg_030_DriveSpeed(WizardContext& wizard, WindowHandle owner);
  ~CDlg_030_DriveSpeed() override;

  CDlg_030_DriveSpeed(const CDlg_030_DriveSpeed&) = delete;
  CDlg_030_DriveSpeed& operator=(const CDlg_030_DriveSpeed&) = delete;

  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

  /// Destroys the dialog, or marks it when its procedure runs (see above). True when the
  /// object may be deleted now.
  bool RequestDestroy();
  bool InProcedure() const { return inProcedure_; }
  bool DestroyRequested() const { return destroyRequested_; }

  uint32_t discNumber = 1;
  uint32_t discCount = 1;

  /// Set while a prompt procedure runs, in any prompt dialog of the process: a prompt that
  /// arrives meanwhile is dropped.
  static bool promptBusy;

 private:
  void OnPromptDisc(uintptr_t wParam, intptr_t lParam);
  /// The prompt's boxes go to the sheet; false when the dialog was marked meanwhile.
  bool StillAlive() const { return !destroyRequested_; }
  void PostToSheet(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void ReleaseSheet();

  WizardContext& wizard_;
  bool disabledSheet_ = false;
  bool inProcedure_ = false;
  bool destroyRequested_ = false;
  CDlg_030_ScanMedia* runningScan_ = nullptr;
};

}  // namespace kestrune
