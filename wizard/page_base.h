#pragma once

#include <cstdint>

#include "wizard/view_ports.h"
#include "wizard/wizard_context.h"

namespace kestrune {

/// The base of the wizard's four pages: their shared access to the wizard, and a way to go
/// deaf to the program's own messages once the application is ending. (The white look of
/// the pages is the front end's: every toolkit paints pages and their statics white.)
class CPageBase : public WindowProcedure {
 public:
  CPageBase(WizardContext& wizard, uint32_t templateId)
      : wizard_(wizard), templateId_(templateId) {}

  /// Drops every message from wm::kFirstAppMessage up while `ignoreAppMessages` is set
  /// (answering 0); passes everything else to PageProc.
  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) final;

  uint32_t templateId() const { return templateId_; }

  /// Nonzero once the page no longer listens to the program's messages. Only goes 0 -> 1.
  uint32_t ignoreAppMessages = 0;

 protected:
  /// The page's own window procedure.
  virtual bool PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) = 0;

  /// The sheet window the page belongs to (null while the sheet does not exist).
  WindowHandle Sheet() const { return wizard_.run.sheetWnd; }
  /// Posts PSM_SETWIZBUTTONS with `buttons` to the sheet.
  void PostWizardButtons(uint32_t buttons);
  /// Posts `message` to this page's own window.
  void PostToSelf(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

  WizardContext& wizard_;

 private:
  uint32_t templateId_;
};

}  // namespace kestrune
