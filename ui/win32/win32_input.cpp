// The user's input as a front end delivers it: each operation checks what the screen shows,
// as a person can only click what is there and enabled, and then produces the messages the
// click would (the notification after the control has changed).
#include "platform/win32/windows_support.h"

#include <commctrl.h>

#include "ui/win32/win32_toolkit.h"

namespace kestrune::ui::win32 {
namespace {

void Run(const Win32Toolkit::Accepted& accepted) {
  if (accepted) accepted();
}

bool Visible(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace

std::string Win32Toolkit::SheetRefusesInput() {
  if (sheet_ == nullptr || !Visible(sheet_)) return "the wizard is not showing";
  if (!boxes_.empty()) return "message box " + std::to_string(boxes_.back()->id) + " is open";
  if (!::IsWindowEnabled(sheet_)) return "the wizard takes no input now";
  return {};
}

std::string Win32Toolkit::PressWizardButton(int button, const Accepted& accepted) {
  std::string refusal = SheetRefusesInput();
  if (!refusal.empty()) return refusal;
  const bool next = button == kNextButton;
  HWND control = GetDlgItem(sheet_, button);
  if (control == nullptr || !::IsWindowEnabled(control) || !Visible(control)) {
    return next ? "Next is disabled" : "Back is disabled";
  }
  Run(accepted);
  SendMessageW(sheet_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
  return {};
}

std::string Win32Toolkit::PressNext(const Accepted& accepted) {
  return PressWizardButton(kNextButton, accepted);
}

std::string Win32Toolkit::PressBack(const Accepted& accepted) {
  return PressWizardButton(kBackButton, accepted);
}

std::string Win32Toolkit::PressCancel(const Accepted& accepted) {
  std::string refusal = SheetRefusesInput();
  if (!refusal.empty()) return refusal;
  HWND cancel = GetDlgItem(sheet_, IDCANCEL);
  if (cancel == nullptr || !::IsWindowEnabled(cancel)) return "Cancel is disabled";
  Run(accepted);
  SendMessageW(sheet_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(cancel));
  return {};
}

std::string Win32Toolkit::RequestClose(const Accepted& accepted) {
  if (sheet_ == nullptr) return "the wizard is not showing";
  Run(accepted);
  SendMessageW(sheet_, WM_SYSCOMMAND, SC_CLOSE, 0);
  return {};
}

std::string Win32Toolkit::PageControlRefuses(uint32_t id, HWND& control) {
  std::string refusal = SheetRefusesInput();
  if (!refusal.empty()) return refusal;
  HWND page = ActivePageWindow();
  control = page == nullptr ? nullptr : GetDlgItem(page, static_cast<int>(id));
  if (control == nullptr) return "control " + std::to_string(id) + " is not on this page";
  if (!Visible(control)) return "control " + std::to_string(id) + " is hidden";
  if (!::IsWindowEnabled(control)) return "control " + std::to_string(id) + " is disabled";
  return {};
}

std::string Win32Toolkit::SelectComboItem(uint32_t id, int index, const Accepted& accepted) {
  HWND combo = nullptr;
  std::string refusal = PageControlRefuses(id, combo);
  if (!refusal.empty()) return refusal;
  const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  if (index < 0 || index >= count) return "no such entry";
  Run(accepted);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(ActivePageWindow(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  return {};
}

std::string Win32Toolkit::ClickButton(uint32_t id, bool checked, const Accepted& accepted) {
  HWND button = nullptr;
  std::string refusal = PageControlRefuses(id, button);
  if (!refusal.empty()) return refusal;
  const auto type = GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK;
  const bool checkable = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                         type == BS_AUTORADIOBUTTON;
  if (!checkable) return "control " + std::to_string(id) + " is not a check box or radio button";
  Run(accepted);
  SendMessageW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(ActivePageWindow(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return {};
}

std::string Win32Toolkit::ClickListCheck(uint32_t id, int row, bool checked,
                                         const Accepted& accepted) {
  HWND list = nullptr;
  std::string refusal = PageControlRefuses(id, list);
  if (!refusal.empty()) return refusal;
  const auto extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  if ((extended & LVS_EX_CHECKBOXES) == 0) {
    return "list " + std::to_string(id) + " has no check boxes";
  }
  const auto rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  if (row < 0 || row >= rows) {
    return "list " + std::to_string(id) + " has no row " + std::to_string(row + 1);
  }
  Run(accepted);
  HWND page = ActivePageWindow();
  SetCheckState(reinterpret_cast<WindowHandle>(page), id, row, checked);
  // The click on the box, as the list reports it after toggling.
  NMITEMACTIVATE click{};
  click.hdr.hwndFrom = list;
  click.hdr.idFrom = id;
  click.hdr.code = NM_CLICK;
  click.iItem = row;
  click.iSubItem = 0;
  SendMessageW(page, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&click));
  return {};
}

void Win32Toolkit::EndSession(int exitCode) {
  if (sheet_ != nullptr) SendMessageW(sheet_, WM_ENDSESSION, TRUE, 0);
  PostQuit(exitCode);
}

}  // namespace kestrune::ui::win32
