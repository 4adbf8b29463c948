// The user's input to the host toolkit, as the front ends deliver it.
#include <string>

#include "ui/host/host_toolkit.h"
#include "ui/script/transcript_lines.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

void Run(const HostToolkit::Accepted& accepted) {
  if (accepted) accepted();
}

}  // namespace

std::string HostToolkit::SheetRefusesInput() const {
  const HostWindow* sheet = Find(sheetWindow_.load());
  if (sheet == nullptr || !sheet->visible) return "the wizard is not showing";
  if (!boxes_.empty()) return "message box " + std::to_string(boxes_.back()->id) + " is open";
  if (!sheet->enabled) return "the wizard takes no input now";
  return {};
}

std::string HostToolkit::PressWizardButton(bool next, const Accepted& accepted) {
  std::string refusal = SheetRefusesInput();
  if (!refusal.empty()) return refusal;
  const uint32_t flag = next ? wm::kWizButtonNext : wm::kWizButtonBack;
  if ((wizardButtons_ & flag) == 0) return next ? "Next is disabled" : "Back is disabled";
  Run(accepted);
  const WindowHandle page = pages_[static_cast<size_t>(activePage_)].window;
  wm::NotifyInfo info;
  info.code = next ? wm::kPsnWizNext : wm::kPsnWizBack;
  const intptr_t answer = Send(page, wm::kNotify, 0, reinterpret_cast<intptr_t>(&info));
  if (answer == -1 || sheetEnded_ || sheetWindow_.load() == nullptr) return {};
  int target = activePage_ + (next ? 1 : -1);
  if (answer != 0) {
    for (size_t i = 0; i < pages_.size(); ++i) {
      if (pages_[i].templateId == static_cast<uint32_t>(answer)) target = static_cast<int>(i);
    }
  }
  if (target >= 0 && target < static_cast<int>(pages_.size()) && target != activePage_) {
    Activate(target);
  }
  return {};
}

std::string HostToolkit::PressNext(const Accepted& accepted) {
  return PressWizardButton(true, accepted);
}

std::string HostToolkit::PressBack(const Accepted& accepted) {
  return PressWizardButton(false, accepted);
}

std::string HostToolkit::PressCancel(const Accepted& accepted) {
  std::string refusal = SheetRefusesInput();
  if (!refusal.empty()) return refusal;
  const WindowHandle sheet = sheetWindow_;
  const ControlModel* cancel = Find(sheet, static_cast<uint32_t>(wm::kIdCancel));
  if (cancel == nullptr || !cancel->enabled) return "Cancel is disabled";
  Run(accepted);
  Send(sheet, wm::kCommand, static_cast<uintptr_t>(wm::kIdCancel), 0);
  return {};
}

std::string HostToolkit::RequestClose(const Accepted& accepted) {
  const WindowHandle sheet = sheetWindow_;
  if (Find(sheet) == nullptr) return "the wizard is not showing";
  Run(accepted);
  Send(sheet, wm::kSysCommand, wm::kScClose, 0);
  return {};
}

std::string HostToolkit::AnswerBox(int button, const Accepted& accepted) {
  if (boxes_.empty()) return "no message box is open";
  MessageBoxState& box = *boxes_.back();
  bool offered = false;
  for (const int candidate : box.Buttons()) offered = offered || candidate == button;
  if (!offered) {
    return "message box " + std::to_string(box.id) + " has no " + ButtonName(button) + " button";
  }
  Run(accepted);
  box.answer = button;
  box.answered = true;
  return {};
}

std::string HostToolkit::PageControlRefuses(uint32_t id, ControlModel*& control) {
  std::string refusal = SheetRefusesInput();
  if (!refusal.empty()) return refusal;
  const HostWindow* page = ActivePageWindow();
  control = page == nullptr ? nullptr : Find(page->handle, id);
  if (control == nullptr) return "control " + std::to_string(id) + " is not on this page";
  if (!control->visible) return "control " + std::to_string(id) + " is hidden";
  if (!control->enabled) return "control " + std::to_string(id) + " is disabled";
  return {};
}

std::string HostToolkit::SelectComboItem(uint32_t id, int index, const Accepted& accepted) {
  ControlModel* combo = nullptr;
  std::string refusal = PageControlRefuses(id, combo);
  if (!refusal.empty()) return refusal;
  if (index < 0 || index >= static_cast<int>(combo->items.size())) return "no such entry";
  Run(accepted);
  combo->selection = index;
  Send(ActivePageWindow()->handle, wm::kCommand,
       id | (static_cast<uintptr_t>(wm::kComboSelChange) << 16), 0);
  return {};
}

std::string HostToolkit::ClickButton(uint32_t id, bool checked, const Accepted& accepted) {
  ControlModel* button = nullptr;
  std::string refusal = PageControlRefuses(id, button);
  if (!refusal.empty()) return refusal;
  if (button->kind != ControlKind::kCheckBox && button->kind != ControlKind::kRadioButton) {
    return "control " + std::to_string(id) + " is not a check box or radio button";
  }
  Run(accepted);
  button->checked = checked;
  Send(ActivePageWindow()->handle, wm::kCommand,
       id | (static_cast<uintptr_t>(wm::kButtonClicked) << 16), 0);
  return {};
}

std::string HostToolkit::ClickListCheck(uint32_t id, int row, bool checked,
                                        const Accepted& accepted) {
  ControlModel* list = nullptr;
  std::string refusal = PageControlRefuses(id, list);
  if (!refusal.empty()) return refusal;
  if (!list->checkBoxes) return "list " + std::to_string(id) + " has no check boxes";
  if (row < 0 || row >= static_cast<int>(list->rows.size())) {
    return "list " + std::to_string(id) + " has no row " + std::to_string(row + 1);
  }
  Run(accepted);
  list->rows[static_cast<size_t>(row)].checked = checked;
  wm::NotifyInfo info;
  info.idFrom = id;
  info.code = wm::kNmClick;
  info.item = row;
  info.subItem = 0;
  Send(ActivePageWindow()->handle, wm::kNotify, id, reinterpret_cast<intptr_t>(&info));
  return {};
}

void HostToolkit::EndSession(int exitCode) {
  const WindowHandle sheet = sheetWindow_;
  if (Find(sheet) != nullptr) Send(sheet, wm::kEndSession, 1, 0);
  loop_.PostQuit(exitCode);
}

}  // namespace kestrune::ui::host
