// Message boxes, modal and hidden modeless dialogs, and the end of the loops.
#include "platform/win32/windows_support.h"

#include <algorithm>

#include "ui/win32/win32_toolkit.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::win32 {

int Win32Toolkit::ShowMessage(WindowHandle owner, uint32_t stringId, const std::wstring& text,
                              uint32_t flags) {
  if (quitCode_) return 0;
  MessageBoxRecord box;
  box.id = stringId;
  box.text = text;
  box.flags = flags;
  boxes_.push_back(&box);
  if (observer_ != nullptr) observer_->OnMessageBoxOpened(box);
  const std::wstring caption = LoadText(kAppTitleStringId, language_);
  // The hook notes the box's window as the system creates it (see CbtHook).
  capturingBox_ = true;
  const int answer =
      MessageBoxW(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), flags);
  capturingBox_ = false;
  boxes_.erase(std::find(boxes_.begin(), boxes_.end(), &box));
  const std::vector<int> buttons = box.Buttons();
  box.answer = answer;
  box.answered = std::find(buttons.begin(), buttons.end(), answer) != buttons.end();
  if (observer_ != nullptr) observer_->OnMessageBoxClosed(box);
  ScheduleIdle();
  return box.answered ? answer : 0;
}

intptr_t Win32Toolkit::RunModal(WindowProcedure& dialog, uint32_t templateId, WindowHandle owner) {
  if (quitCode_) return 0;
  const DLGTEMPLATE* layout = resources_.DialogTemplate(templateId);
  if (layout == nullptr) return 0;
  WindowRecord* record = NewRecord(dialog, templateId);
  const INT_PTR result = DialogBoxIndirectParamW(module_, layout, reinterpret_cast<HWND>(owner),
                                                 DialogProc, reinterpret_cast<LPARAM>(record));
  ForgetUnattached(record);
  ScheduleIdle();
  return result == -1 ? 0 : result;
}

void Win32Toolkit::EndModal(WindowHandle dialog, intptr_t result) {
  EndDialog(reinterpret_cast<HWND>(dialog), result);
}

WindowHandle Win32Toolkit::CreateModeless(WindowProcedure& dialog, uint32_t templateId,
                                          WindowHandle owner) {
  const DLGTEMPLATE* layout = resources_.DialogTemplate(templateId);
  if (layout == nullptr) return nullptr;
  WindowRecord* record = NewRecord(dialog, templateId);
  HWND window = CreateDialogIndirectParamW(module_, layout, reinterpret_cast<HWND>(owner),
                                           DialogProc, reinterpret_cast<LPARAM>(record));
  ForgetUnattached(record);
  return reinterpret_cast<WindowHandle>(window);
}

void Win32Toolkit::PostQuit(int exitCode) {
  if (!quitCode_) quitCode_ = exitCode;
  PostQuitMessage(exitCode);
}

MessageBoxRecord* Win32Toolkit::UnansweredBox() {
  if (boxes_.empty() || boxes_.back()->presetAnswer != 0) return nullptr;
  return boxes_.back();
}

std::string Win32Toolkit::AnswerBox(int button, const Accepted& accepted) {
  // A box that has its answer is as good as closed: it goes once its loop takes the click.
  if (UnansweredBox() == nullptr) return "no message box is open";
  MessageBoxRecord& box = *boxes_.back();
  const std::vector<int> buttons = box.Buttons();
  if (std::find(buttons.begin(), buttons.end(), button) == buttons.end()) {
    return "message box " + std::to_string(box.id) + " has no such button";
  }
  if (accepted) accepted();
  // The box takes the answer as the click of its button would give it; a box the system has
  // not made yet gets it as soon as it exists (CbtHook).
  box.presetAnswer = button;
  if (box.window != nullptr) {
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  }
  return {};
}

}  // namespace kestrune::ui::win32
