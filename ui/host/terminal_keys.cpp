#include "ui/host/terminal_keys.h"

#include <algorithm>
#include <cwctype>

#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

bool IsSpace(const Key& key) { return key.code == KeyCode::kCharacter && key.character == L' '; }

void MoveFocus(const HostToolkit& toolkit, TerminalView& view, int step) {
  const std::vector<uint32_t> order = FocusOrder(toolkit, view);
  if (order.empty()) return;
  const auto at = std::find(order.begin(), order.end(), view.focus);
  int index = at == order.end() ? (step > 0 ? -1 : 0) : static_cast<int>(at - order.begin());
  index = (index + step + static_cast<int>(order.size())) % static_cast<int>(order.size());
  view.focus = order[static_cast<size_t>(index)];
  view.focusChosen = true;
  view.dropDown = false;
}

void HandleBoxKey(HostToolkit& toolkit, TerminalView& view, const Key& key) {
  const MessageBoxState& box = *toolkit.OpenBoxes().back();
  const std::vector<int> buttons = box.Buttons();
  int& focus = view.boxFocus.try_emplace(&box, box.DefaultButton()).first->second;
  const auto at = std::find(buttons.begin(), buttons.end(), focus);
  const int index = at == buttons.end() ? 0 : static_cast<int>(at - buttons.begin());
  const int count = static_cast<int>(buttons.size());
  auto has = [&buttons](int button) {
    return std::find(buttons.begin(), buttons.end(), button) != buttons.end();
  };
  switch (key.code) {
    case KeyCode::kTab:
    case KeyCode::kRight:
    case KeyCode::kDown:
      focus = buttons[static_cast<size_t>((index + 1) % count)];
      return;
    case KeyCode::kBackTab:
    case KeyCode::kLeft:
    case KeyCode::kUp:
      focus = buttons[static_cast<size_t>((index + count - 1) % count)];
      return;
    case KeyCode::kEnter:
      static_cast<void>(toolkit.AnswerBox(focus));
      return;
    case KeyCode::kEscape:
      // As on Windows: Esc is Cancel, or OK in a box with nothing else; a Yes/No question
      // needs an answer.
      if (has(wm::kIdCancel)) static_cast<void>(toolkit.AnswerBox(wm::kIdCancel));
      if (count == 1) static_cast<void>(toolkit.AnswerBox(buttons.front()));
      return;
    case KeyCode::kInterrupt:
      static_cast<void>(toolkit.RequestClose());
      return;
    case KeyCode::kCharacter: {
      if (key.character == L' ') {
        static_cast<void>(toolkit.AnswerBox(focus));
        return;
      }
      const wint_t letter = std::towlower(static_cast<wint_t>(key.character));
      if (letter == L'y' && has(wm::kIdYes)) static_cast<void>(toolkit.AnswerBox(wm::kIdYes));
      if (letter == L'n' && has(wm::kIdNo)) static_cast<void>(toolkit.AnswerBox(wm::kIdNo));
      return;
    }
    default:
      return;
  }
}

void PressSheetButton(HostToolkit& toolkit, uint32_t id) {
  if (id == HostToolkit::kBackButton) {
    static_cast<void>(toolkit.PressBack());
  } else if (id == HostToolkit::kNextButton) {
    static_cast<void>(toolkit.PressNext());
  } else {
    static_cast<void>(toolkit.PressCancel());
  }
}

void HandleDropDownKey(HostToolkit& toolkit, TerminalView& view, const ControlModel& combo,
                       const Key& key) {
  const int count = static_cast<int>(combo.items.size());
  switch (key.code) {
    case KeyCode::kUp:
    case KeyCode::kBackTab:
      view.dropDownRow = std::max(view.dropDownRow - 1, 0);
      return;
    case KeyCode::kDown:
    case KeyCode::kTab:
      view.dropDownRow = std::min(view.dropDownRow + 1, count - 1);
      return;
    case KeyCode::kHome:
    case KeyCode::kPageUp:
      view.dropDownRow = 0;
      return;
    case KeyCode::kEnd:
    case KeyCode::kPageDown:
      view.dropDownRow = count - 1;
      return;
    case KeyCode::kEscape:
      view.dropDown = false;
      return;
    case KeyCode::kInterrupt:
      view.dropDown = false;
      static_cast<void>(toolkit.RequestClose());
      return;
    case KeyCode::kEnter:
    case KeyCode::kCharacter:
      if (key.code == KeyCode::kCharacter && key.character != L' ') return;
      view.dropDown = false;
      // Picking the entry that is already chosen changes nothing, as on Windows.
      if (view.dropDownRow != combo.selection) {
        static_cast<void>(toolkit.SelectComboItem(combo.id, view.dropDownRow));
      }
      return;
    default:
      return;
  }
}

/// Space on the focused control of the page.
void UseControl(HostToolkit& toolkit, TerminalView& view, const ControlModel& control) {
  switch (control.kind) {
    case ControlKind::kCheckBox:
      static_cast<void>(toolkit.ClickButton(control.id, !control.checked));
      return;
    case ControlKind::kRadioButton:
      static_cast<void>(toolkit.ClickButton(control.id, true));
      return;
    case ControlKind::kComboBox:
      if (control.items.empty()) return;
      view.dropDown = true;
      view.dropDownRow = std::max(control.selection, 0);
      return;
    case ControlKind::kListView: {
      if (!control.checkBoxes || control.rows.empty()) return;
      const int row =
          std::clamp(view.cursor[control.id], 0, static_cast<int>(control.rows.size()) - 1);
      static_cast<void>(
          toolkit.ClickListCheck(control.id, row, !control.rows[static_cast<size_t>(row)].checked));
      return;
    }
    default:
      return;
  }
}

/// Arrows and paging inside a list or a long text; false when the key leaves it.
bool ScrollWithin(TerminalView& view, const ControlModel& control, const Key& key) {
  const int visible =
      std::max(view.visibleRows.count(control.id) ? view.visibleRows[control.id] : 1, 1);
  if (control.kind == ControlKind::kListView) {
    const int last = static_cast<int>(control.rows.size()) - 1;
    int& cursor = view.cursor[control.id];
    switch (key.code) {
      case KeyCode::kUp:
        if (cursor <= 0) return false;
        --cursor;
        return true;
      case KeyCode::kDown:
        if (cursor >= last) return false;
        ++cursor;
        return true;
      case KeyCode::kHome:
        cursor = 0;
        return true;
      case KeyCode::kEnd:
        cursor = std::max(last, 0);
        return true;
      case KeyCode::kPageUp:
        cursor = std::max(cursor - visible, 0);
        return true;
      case KeyCode::kPageDown:
        cursor = std::max(std::min(cursor + visible, last), 0);
        return true;
      default:
        return false;
    }
  }
  if (control.kind == ControlKind::kEdit && view.scrollable.count(control.id) != 0) {
    int& first = view.scroll[control.id];
    switch (key.code) {
      case KeyCode::kUp:
        if (first <= 0) return false;
        --first;
        return true;
      case KeyCode::kDown:
        if (first + visible >= view.contentRows[control.id]) return false;
        ++first;
        return true;
      case KeyCode::kPageUp:
        first = std::max(first - visible, 0);
        return true;
      case KeyCode::kPageDown:
        first += visible;
        return true;
      case KeyCode::kHome:
        first = 0;
        return true;
      default:
        return false;
    }
  }
  return false;
}

}  // namespace

void HandleKey(HostToolkit& toolkit, TerminalView& view, const Key& key) {
  SyncView(toolkit, view);
  if (!toolkit.OpenBoxes().empty()) {
    HandleBoxKey(toolkit, view, key);
    return;
  }
  if (key.code == KeyCode::kInterrupt) {
    view.dropDown = false;
    static_cast<void>(toolkit.RequestClose());
    return;
  }
  const HostWindow* sheet = toolkit.Window(toolkit.SheetWindow());
  if (sheet == nullptr || !sheet->visible || !sheet->enabled || toolkit.ModalDialogRunning()) {
    return;
  }
  const HostWindow* page = toolkit.ActivePageWindow();
  const ControlModel* focused = page == nullptr ? nullptr : page->Control(view.focus);

  if (view.dropDown && focused != nullptr) {
    HandleDropDownKey(toolkit, view, *focused, key);
    return;
  }
  if (focused != nullptr && ScrollWithin(view, *focused, key)) return;

  switch (key.code) {
    case KeyCode::kTab:
    case KeyCode::kDown:
    case KeyCode::kRight:
      MoveFocus(toolkit, view, 1);
      return;
    case KeyCode::kBackTab:
    case KeyCode::kUp:
    case KeyCode::kLeft:
      MoveFocus(toolkit, view, -1);
      return;
    case KeyCode::kEscape:
      static_cast<void>(toolkit.PressCancel());
      return;
    case KeyCode::kEnter: {
      if (focused == nullptr && view.focus != 0) {
        PressSheetButton(toolkit, view.focus);
        return;
      }
      if ((toolkit.WizardButtons() & wm::kWizButtonNext) != 0) {
        static_cast<void>(toolkit.PressNext());
        return;
      }
      if (focused != nullptr && focused->kind == ControlKind::kComboBox) {
        UseControl(toolkit, view, *focused);
      }
      return;
    }
    case KeyCode::kCharacter:
      if (!IsSpace(key)) return;
      if (focused != nullptr) {
        UseControl(toolkit, view, *focused);
      } else if (view.focus != 0) {
        PressSheetButton(toolkit, view.focus);
      }
      return;
    default:
      return;
  }
}

}  // namespace kestrune::ui::host
