#include "wizard/wizard_context.h"

#include <vector>

#include "wizard/window_messages.h"

namespace kestrune {

std::wstring WizardContext::Format(uint32_t id, std::initializer_list<std::wstring> inserts) const {
  const std::vector<std::wstring> values(inserts);
  return FormatInserts(Text(id), values);
}

int WizardContext::Message(uint32_t id, const std::wstring& text, uint32_t flags) const {
  const WindowHandle owner = run.sheetWnd;
  // The application's message box: owned by the main window, or above every other program
  // when there is none yet (or none any more).
  if (owner == nullptr) flags |= wm::kMbSetForeground | wm::kMbTopmost;
  return ui.dialogs.ShowMessage(owner, id, text, flags);
}

std::wstring Decimal(uint64_t value) { return std::to_wstring(value); }

}  // namespace kestrune
