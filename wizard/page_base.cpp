#include "wizard/page_base.h"

#include "wizard/window_messages.h"

namespace kestrune {

bool CPageBase::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) {
  if (ignoreAppMessages != 0 && message >= wm::kFirstAppMessage) {
    result = 0;
    return true;
  }
  return PageProc(message, wParam, lParam, result);
}

void CPageBase::PostWizardButtons(uint32_t buttons) {
  const WindowHandle sheet = Sheet();
  if (sheet != nullptr)
    static_cast<void>(wizard_.ui.post.Post(sheet, wm::kSetWizButtons, 0, buttons));
}

void CPageBase::PostToSelf(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window() != nullptr)
    static_cast<void>(wizard_.ui.post.Post(window(), message, wParam, lParam));
}

}  // namespace kestrune
