#include "ui/host/terminal_paint.h"

#include <algorithm>

#include "ui/host/terminal_layout.h"
#include "ui/host/terminal_text.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

/// The sheet grows with the terminal up to this size, then stays centred.
constexpr int kSheetMaxColumns = 100;
constexpr int kSheetMaxRows = 26;
/// Message boxes wrap their text at this width at most, as Windows does.
constexpr int kBoxMaxText = 68;
/// One step of the busy sign.
constexpr int kSpinnerStepMs = 100;

int Elapsed(const TerminalView& view) {
  using namespace std::chrono;
  return static_cast<int>(duration_cast<milliseconds>(view.now.time_since_epoch()).count() &
                          0x3fffffff);
}

class Painter {
 public:
  Painter(const HostToolkit& toolkit, TerminalView& view, Canvas& canvas)
      : toolkit_(toolkit), view_(view), canvas_(canvas), g_(view.glyphs) {}

  void Paint() {
    view_.animating = false;
    canvas_.Fill(0, 0, canvas_.rows(), canvas_.columns(), L' ', {});
    if (canvas_.rows() < kMinimumRows || canvas_.columns() < kMinimumColumns) {
      const auto lines = WrapText(Word(TerminalWord::kTooSmall, view_.language, g_.unicode),
                                  std::max(canvas_.columns() - 2, 10));
      for (size_t i = 0; i < lines.size(); ++i) {
        canvas_.Put(canvas_.rows() / 2 + static_cast<int>(i), 1, lines[i], {});
      }
      return;
    }
    const HostWindow* sheet = toolkit_.Window(toolkit_.SheetWindow());
    showFocus_ = sheet != nullptr && sheet->enabled && toolkit_.OpenBoxes().empty() &&
                 !toolkit_.ModalDialogRunning();
    int hintRow = canvas_.rows() - 1;
    if (sheet != nullptr && sheet->visible) hintRow = PaintSheet(*sheet);
    for (const HostWindow* dialog : toolkit_.Dialogs()) {
      if (dialog->visible) PaintDialog(*dialog);
    }
    for (const MessageBoxState* box : toolkit_.OpenBoxes()) PaintBox(*box);
    PaintHint(hintRow, sheet);
  }

 private:
  std::wstring T(const std::wstring& text) const { return g_.unicode ? text : AsciiText(text); }

  void Frame(int row, int column, int height, int width, const std::wstring& caption, Style style) {
    if (height < 2 || width < 2) return;
    const int right = column + width - 1;
    const int bottom = row + height - 1;
    canvas_.Fill(row, column + 1, 1, width - 2, g_.horizontal, style);
    canvas_.Fill(bottom, column + 1, 1, width - 2, g_.horizontal, style);
    canvas_.Fill(row + 1, column, height - 2, 1, g_.vertical, style);
    canvas_.Fill(row + 1, right, height - 2, 1, g_.vertical, style);
    canvas_.Put(row, column, std::wstring(1, g_.topLeft), style);
    canvas_.Put(row, right, std::wstring(1, g_.topRight), style);
    canvas_.Put(bottom, column, std::wstring(1, g_.bottomLeft), style);
    canvas_.Put(bottom, right, std::wstring(1, g_.bottomRight), style);
    if (!caption.empty() && width > 6) {
      Style title = style;
      title.bold = true;
      canvas_.Put(row, column + 2, L" " + FitText(T(caption), width - 6) + L" ", title, width - 4);
    }
  }

  /// Blanks the place of a box and a margin of one cell around it, so that it stands apart
  /// from the page beneath.
  void Clear(int row, int column, int height, int width) {
    canvas_.Fill(row - 1, column - 1, height + 2, width + 2, L' ', {Tone::kBox});
  }

  /// The sheet's frame, page and buttons; the row of the key hints below it.
  int PaintSheet(const HostWindow& sheet) {
    const int width = std::min(canvas_.columns(), kSheetMaxColumns);
    const int height = std::min(canvas_.rows() - 1, kSheetMaxRows);
    const int top = (canvas_.rows() - 1 - height) / 2;
    const int left = (canvas_.columns() - width) / 2;
    Frame(top, left, height, width, sheet.caption, {Tone::kFrame});
    const int separator = top + height - 3;
    canvas_.Fill(separator, left + 1, 1, width - 2, g_.horizontal, {Tone::kFrame});
    canvas_.Put(separator, left, std::wstring(1, g_.teeLeft), {Tone::kFrame});
    canvas_.Put(separator, left + width - 1, std::wstring(1, g_.teeRight), {Tone::kFrame});
    if (const HostWindow* page = toolkit_.ActivePageWindow()) {
      PaintPage(*page, top + 1, left + 2, width - 4, height - 4);
    }
    PaintSheetButtons(sheet, top + height - 2, left + width - 3);
    return top + height;
  }

  void PaintPage(const HostWindow& page, int row, int column, int width, int height) {
    const WindowLayout layout = LayoutWindow(page, width, height, !g_.unicode);
    const LayoutItem* combo = nullptr;
    for (const LayoutItem& item : layout.items) {
      if (!item.control->visible || item.row >= height) continue;
      LayoutItem placed = item;
      placed.row += row;
      placed.column += column;
      placed.height = std::min(item.height, height - item.row);
      const bool focused = showFocus_ && view_.focus == item.control->id;
      PaintControl(placed, focused);
      if (focused && view_.dropDown && item.control->kind == ControlKind::kComboBox) {
        combo = &item;
      }
    }
    if (combo != nullptr)
      PaintDropDown(*combo->control, row + combo->row, column + combo->column, combo->width);
  }

  void PaintControl(const LayoutItem& item, bool focused) {
    const ControlModel& control = *item.control;
    const Style plain{control.enabled ? Tone::kNormal : Tone::kDim};
    switch (control.kind) {
      case ControlKind::kGroupBox:
        Frame(item.row, item.column, item.height, item.width, control.text, {Tone::kFrame});
        break;
      case ControlKind::kStatic: {
        const auto lines = ControlLines(control, item.width, !g_.unicode);
        const bool centred = (control.style & control_style::kCentered) != 0;
        for (int i = 0; i < std::min<int>(item.height, static_cast<int>(lines.size())); ++i) {
          const int indent =
              centred ? (item.width - TextWidth(lines[static_cast<size_t>(i)])) / 2 : 0;
          canvas_.Put(item.row + i, item.column + std::max(indent, 0),
                      lines[static_cast<size_t>(i)], plain, item.width);
        }
        break;
      }
      case ControlKind::kEdit:
        PaintEdit(item, focused);
        break;
      case ControlKind::kCheckBox:
      case ControlKind::kRadioButton: {
        const bool check = control.kind == ControlKind::kCheckBox;
        const std::wstring& box = check ? (control.checked ? g_.checked : g_.unchecked)
                                        : (control.checked ? g_.radioOn : g_.radioOff);
        Style boxStyle = plain;
        boxStyle.reverse = focused;
        canvas_.Put(item.row, item.column, box, boxStyle);
        const auto lines = WrapText(T(control.text), item.width - kCheckPrefixWidth);
        for (int i = 0; i < std::min<int>(item.height, static_cast<int>(lines.size())); ++i) {
          canvas_.Put(item.row + i, item.column + kCheckPrefixWidth, lines[static_cast<size_t>(i)],
                      plain, item.width - kCheckPrefixWidth);
        }
        break;
      }
      case ControlKind::kComboBox: {
        Style style = plain;
        style.reverse = focused;
        const std::wstring text =
            control.selection >= 0 && control.selection < static_cast<int>(control.items.size())
                ? T(control.items[static_cast<size_t>(control.selection)].text)
                : std::wstring();
        canvas_.Fill(item.row, item.column, 1, item.width, L' ', style);
        canvas_.Put(item.row, item.column, L"[", style);
        canvas_.Put(item.row, item.column + 2, FitText(text, item.width - 6), style);
        canvas_.Put(item.row, item.column + item.width - 3, std::wstring(1, g_.comboArrow) + L" ]",
                    style);
        break;
      }
      case ControlKind::kListView:
        PaintList(item, focused);
        break;
      case ControlKind::kProgress:
        PaintProgress(item);
        break;
      case ControlKind::kIcon: {
        view_.animating = true;
        const size_t frame =
            static_cast<size_t>(Elapsed(view_) / kSpinnerStepMs) % g_.spinner.size();
        canvas_.Put(item.row, item.column, std::wstring(1, g_.spinner[frame]), {Tone::kBusy});
        break;
      }
      case ControlKind::kPushButton:
        break;
    }
  }

  void PaintEdit(const LayoutItem& item, bool focused) {
    const ControlModel& control = *item.control;
    auto lines = ControlLines(control, item.width, !g_.unicode);
    const bool scrolls = static_cast<int>(lines.size()) > item.height;
    if (scrolls) {
      view_.scrollable.insert(control.id);
      lines = ControlLines(control, item.width - 1, !g_.unicode);
    } else {
      view_.scrollable.erase(control.id);
    }
    view_.visibleRows[control.id] = item.height;
    view_.contentRows[control.id] = static_cast<int>(lines.size());
    int& first = view_.scroll[control.id];
    first = std::clamp(first, 0, std::max(0, static_cast<int>(lines.size()) - item.height));
    for (int i = 0; i < item.height && first + i < static_cast<int>(lines.size()); ++i) {
      canvas_.Put(item.row + i, item.column, lines[static_cast<size_t>(first + i)], {},
                  item.width - (scrolls ? 1 : 0));
    }
    if (!scrolls) return;
    const Style marker{Tone::kFrame, focused};
    const int edge = item.column + item.width - 1;
    canvas_.Fill(item.row, edge, item.height, 1, L' ', marker);
    if (first > 0) canvas_.Put(item.row, edge, std::wstring(1, g_.scrollUp), marker);
    if (first + item.height < static_cast<int>(lines.size())) {
      canvas_.Put(item.row + item.height - 1, edge, std::wstring(1, g_.scrollDown), marker);
    }
  }

  /// Cells of each column: as the columns' widths share the list; but when that would cut a
  /// text short and every text fits otherwise, each column first gets what its texts need.
  std::vector<int> ColumnCells(const ControlModel& list, int available) const {
    const size_t count = list.columns.size();
    if (count == 0) return {available};
    int total = 0;
    for (const ListColumn& column : list.columns) total += std::max(column.width, 1);
    std::vector<int> needs(count, 0);
    int needed = 0;
    for (size_t c = 0; c < count; ++c) {
      needs[c] = TextWidth(T(list.columns[c].heading)) + 1;
      for (const ListRow& row : list.rows) {
        if (c < row.texts.size()) needs[c] = std::max(needs[c], TextWidth(T(row.texts[c])) + 1);
      }
      needed += needs[c];
    }
    auto share = [&](int spread, bool withNeeds) {
      std::vector<int> cells(count, 0);
      int used = 0;
      for (size_t c = 0; c < count; ++c) {
        cells[c] = (withNeeds ? needs[c] : 0) + spread * std::max(list.columns[c].width, 1) / total;
        if (c + 1 == count) cells[c] = available - used;
        used += cells[c];
      }
      return cells;
    };
    std::vector<int> cells = share(available, false);
    bool cut = false;
    for (size_t c = 0; c < count; ++c) cut = cut || needs[c] > cells[c];
    if (cut && needed <= available) cells = share(available - needed, true);
    return cells;
  }

  void PaintList(const LayoutItem& item, bool focused) {
    const ControlModel& list = *item.control;
    const int prefix = (list.checkBoxes ? kCheckPrefixWidth : 0) + (list.images.empty() ? 0 : 2);
    const int available = std::max(item.width - prefix, 1);
    const std::vector<int> cells = ColumnCells(list, available);
    auto putCells = [&](int row, const std::vector<std::wstring>& texts, Style style) {
      int x = item.column + prefix;
      for (size_t c = 0; c < cells.size(); ++c) {
        const std::wstring text = FitText(c < texts.size() ? T(texts[c]) : L"", cells[c] - 1);
        const bool centred =
            c < list.columns.size() && list.columns[c].align == ColumnAlign::kCenter;
        const int indent = centred ? (cells[c] - 1 - TextWidth(text)) / 2 : 0;
        canvas_.Put(row, x + indent, text, style, cells[c] - 1 - indent);
        x += cells[c];
      }
    };
    std::vector<std::wstring> headings;
    for (const ListColumn& column : list.columns) headings.push_back(column.heading);
    putCells(item.row, headings, {Tone::kTitle});

    const int rows = static_cast<int>(list.rows.size());
    const int visible = std::max(item.height - 1, 0);
    view_.visibleRows[list.id] = visible;
    if (rows > visible) {
      view_.scrollable.insert(list.id);
    } else {
      view_.scrollable.erase(list.id);
    }
    int& cursor = view_.cursor[list.id];
    cursor = std::clamp(cursor, 0, std::max(rows - 1, 0));
    int& first = view_.scroll[list.id];
    if (focused) first = std::clamp(first, cursor - visible + 1, cursor);
    first = std::clamp(first, 0, std::max(rows - visible, 0));
    for (int i = 0; i < visible && first + i < rows; ++i) {
      const ListRow& entry = list.rows[static_cast<size_t>(first + i)];
      const int y = item.row + 1 + i;
      const Style text{list.enabled ? Tone::kNormal : Tone::kDim};
      int x = item.column;
      if (list.checkBoxes) {
        canvas_.Put(y, x, entry.checked ? g_.checked : g_.unchecked, text);
        x += kCheckPrefixWidth;
      }
      if (!list.images.empty()) {
        Tone tone = Tone::kNormal;
        const std::wstring icon =
            entry.image >= 0 && entry.image < static_cast<int>(list.images.size())
                ? g_.Icon(list.images[static_cast<size_t>(entry.image)], tone)
                : L" ";
        canvas_.Put(y, x, icon, {tone});
      }
      putCells(y, entry.texts, text);
      if (focused && first + i == cursor)
        canvas_.Restyle(y, item.column, 1, item.width, {text.tone, true});
    }
    if (rows > visible && visible > 0) {
      const int edge = item.column + item.width - 1;
      if (first > 0) canvas_.Put(item.row + 1, edge, std::wstring(1, g_.scrollUp), {Tone::kFrame});
      if (first + visible < rows) {
        canvas_.Put(item.row + visible, edge, std::wstring(1, g_.scrollDown), {Tone::kFrame});
      }
    }
  }

  void PaintProgress(const LayoutItem& item) {
    const ControlModel& bar = *item.control;
    canvas_.Fill(item.row, item.column, 1, item.width, g_.barEmpty, {Tone::kDim});
    if (bar.marquee) {
      if (bar.marqueeMs == 0) return;
      view_.animating = true;
      const int block = std::max(3, item.width / 6);
      const int step = Elapsed(view_) / static_cast<int>(std::max<uint32_t>(bar.marqueeMs, 30));
      const int start = step % (item.width + block) - block;
      const int from = std::max(start, 0);
      const int to = std::min(start + block, item.width);
      if (to > from)
        canvas_.Fill(item.row, item.column + from, 1, to - from, g_.barFull, {Tone::kGood});
      return;
    }
    const int range = bar.high - bar.low;
    const int filled = range > 0 ? (bar.position - bar.low) * item.width / range : 0;
    canvas_.Fill(item.row, item.column, 1, std::clamp(filled, 0, item.width), g_.barFull,
                 {Tone::kGood});
  }

  void PaintDropDown(const ControlModel& combo, int row, int column, int width) {
    const int count = static_cast<int>(combo.items.size());
    const int below = canvas_.rows() - 1 - (row + 1);
    const int above = row;
    const int wanted = count + 2;
    const bool down = below >= std::min(wanted, 3) || below >= above;
    const int height = std::min(wanted, down ? below : above);
    if (height < 3) return;
    const int top = down ? row + 1 : row - height;
    canvas_.Fill(top, column, height, width, L' ', {Tone::kBox});
    Frame(top, column, height, width, {}, {Tone::kFrame});
    const int visible = height - 2;
    view_.dropDownRow = std::clamp(view_.dropDownRow, 0, std::max(count - 1, 0));
    const int first = std::clamp(view_.dropDownRow - visible + 1, 0, std::max(count - visible, 0));
    for (int i = 0; i < visible && first + i < count; ++i) {
      const bool lit = first + i == view_.dropDownRow;
      const Style style{Tone::kBox, lit};
      canvas_.Fill(top + 1 + i, column + 1, 1, width - 2, L' ', style);
      canvas_.Put(top + 1 + i, column + 2, T(combo.items[static_cast<size_t>(first + i)].text),
                  style, width - 4);
    }
  }

  /// One button: "[ Label ]", or with the focus "▸ Label ◂"; disabled without brackets.
  int PaintButton(int row, int column, const std::wstring& label, bool enabled, bool focused) {
    std::wstring text;
    if (focused) {
      text = std::wstring(1, g_.focusLeft) + L" " + label + L" " + std::wstring(1, g_.focusRight);
    } else if (enabled) {
      text = L"[ " + label + L" ]";
    } else {
      text = L"  " + label + L"  ";
    }
    Style style{enabled ? Tone::kNormal : Tone::kDim, focused, focused};
    return canvas_.Put(row, column, text, style);
  }

  static int ButtonWidth(const std::wstring& label) { return TextWidth(label) + 4; }

  void PaintSheetButtons(const HostWindow& sheet, int row, int right) {
    const uint32_t buttons = toolkit_.WizardButtons();
    const ControlModel* cancel = sheet.Control(static_cast<uint32_t>(wm::kIdCancel));
    struct Entry {
      uint32_t id;
      std::wstring label;
      bool enabled;
    };
    const Entry entries[] = {
        {HostToolkit::kBackButton, Word(TerminalWord::kBack, view_.language, g_.unicode),
         (buttons & wm::kWizButtonBack) != 0},
        {HostToolkit::kNextButton, Word(TerminalWord::kNext, view_.language, g_.unicode),
         (buttons & wm::kWizButtonNext) != 0},
        {static_cast<uint32_t>(wm::kIdCancel),
         Word(TerminalWord::kCancel, view_.language, g_.unicode),
         cancel != nullptr && cancel->enabled},
    };
    int width = 0;
    for (const Entry& entry : entries) width += ButtonWidth(entry.label) + 2;
    int column = right - width + 2;
    for (const Entry& entry : entries) {
      const bool enabled = entry.enabled && sheet.enabled;
      PaintButton(row, column, entry.label, enabled,
                  enabled && showFocus_ && view_.focus == entry.id);
      column += ButtonWidth(entry.label) + 2;
    }
  }

  void PaintDialog(const HostWindow& dialog) {
    int widest = 24;
    for (const ControlModel& control : dialog.controls) {
      if (control.kind == ControlKind::kStatic && control.visible) {
        widest = std::max(widest, TextWidth(T(control.text)) + 3);
      }
    }
    const int width = std::min(widest, canvas_.columns() - 8);
    const WindowLayout layout = LayoutWindow(dialog, width, canvas_.rows() - 6, !g_.unicode);
    const int boxHeight = layout.height + 4;
    const int boxWidth = width + 6;
    const int top = (canvas_.rows() - boxHeight) / 2;
    const int left = (canvas_.columns() - boxWidth) / 2;
    Clear(top, left, boxHeight, boxWidth);
    Frame(top, left, boxHeight, boxWidth, dialog.caption, {Tone::kFrame});
    for (const LayoutItem& item : layout.items) {
      if (!item.control->visible) continue;
      LayoutItem placed = item;
      placed.row += top + 2;
      placed.column += left + 3;
      PaintControl(placed, false);
    }
  }

  std::wstring ButtonLabel(int button) const {
    switch (button) {
      case wm::kIdOk:
        return Word(TerminalWord::kOk, view_.language, g_.unicode);
      case wm::kIdCancel:
        return Word(TerminalWord::kCancel, view_.language, g_.unicode);
      case wm::kIdYes:
        return Word(TerminalWord::kYes, view_.language, g_.unicode);
      default:
        return Word(TerminalWord::kNo, view_.language, g_.unicode);
    }
  }

  void PaintBox(const MessageBoxState& box) {
    Tone iconTone = Tone::kNormal;
    const std::wstring icon = T(g_.BoxIcon(box.flags, iconTone));
    const int iconCells = icon.empty() ? 0 : TextWidth(icon) + 2;
    const int textLimit = std::max(std::min(kBoxMaxText, canvas_.columns() - 8) - iconCells, 10);
    std::vector<std::wstring> lines = WrapText(T(box.text), textLimit);
    int textWidth = 0;
    for (const std::wstring& line : lines) textWidth = std::max(textWidth, TextWidth(line));
    const std::vector<int> buttons = box.Buttons();
    int buttonsWidth = 0;
    for (const int button : buttons) buttonsWidth += ButtonWidth(ButtonLabel(button)) + 2;
    buttonsWidth -= 2;
    const std::wstring caption = LoadText(kAppTitleStringId, view_.language);
    const int inner = std::max({textWidth + iconCells, buttonsWidth, TextWidth(T(caption)) + 4});
    const int width = std::min(inner + 6, canvas_.columns());
    const int maxLines = std::max(canvas_.rows() - 6, 1);
    if (static_cast<int>(lines.size()) > maxLines) lines.resize(static_cast<size_t>(maxLines));
    const int height = static_cast<int>(lines.size()) + 6;
    const int top = std::max((canvas_.rows() - height) / 2, 0);
    const int left = std::max((canvas_.columns() - width) / 2, 0);
    Clear(top, left, height, width);
    Frame(top, left, height, width, caption, {Tone::kFrame});
    if (!icon.empty()) canvas_.Put(top + 2, left + 3, icon, {iconTone, false, true});
    for (size_t i = 0; i < lines.size(); ++i) {
      canvas_.Put(top + 2 + static_cast<int>(i), left + 3 + iconCells, lines[i], {Tone::kBox},
                  width - 6 - iconCells);
    }
    const auto focus = view_.boxFocus.find(&box);
    const int focused = focus == view_.boxFocus.end() ? box.DefaultButton() : focus->second;
    const bool onTop = !toolkit_.OpenBoxes().empty() && toolkit_.OpenBoxes().back() == &box;
    int column = left + (width - buttonsWidth) / 2;
    for (const int button : buttons) {
      const std::wstring label = ButtonLabel(button);
      PaintButton(top + height - 3, column, label, true, onTop && button == focused);
      column += ButtonWidth(label) + 2;
    }
  }

  void PaintHint(int row, const HostWindow* sheet) {
    if (row >= canvas_.rows()) return;
    std::wstring text;
    auto add = [&](TerminalWord word) {
      if (!text.empty()) text += L"  ";
      text += Word(word, view_.language, g_.unicode);
    };
    if (!toolkit_.OpenBoxes().empty()) {
      add(TerminalWord::kHintBox);
    } else if (sheet == nullptr || !sheet->visible) {
      return;
    } else if (!showFocus_) {
      add(TerminalWord::kHintBusy);
    } else if (view_.dropDown) {
      add(TerminalWord::kHintDropDown);
    } else {
      // Only the keys that do something now.
      const std::vector<uint32_t> order = FocusOrder(toolkit_, view_);
      const HostWindow* page = toolkit_.ActivePageWindow();
      const ControlModel* focused = page == nullptr ? nullptr : page->Control(view_.focus);
      if (focused != nullptr && focused->kind == ControlKind::kListView) {
        add(TerminalWord::kKeyRows);
        if (focused->checkBoxes) add(TerminalWord::kKeySpaceTick);
      } else if (focused != nullptr && focused->kind == ControlKind::kComboBox) {
        add(TerminalWord::kKeySpaceOpen);
      } else if (focused != nullptr && focused->kind != ControlKind::kEdit) {
        add(TerminalWord::kKeySpaceChoose);
      } else if (focused == nullptr && view_.focus != 0) {
        add(TerminalWord::kKeySpacePress);
      }
      if (order.size() > 1) add(TerminalWord::kKeyTab);
      if (toolkit_.WizardButtons() & wm::kWizButtonNext) add(TerminalWord::kKeyEnterNext);
      const ControlModel* cancel = sheet->Control(static_cast<uint32_t>(wm::kIdCancel));
      if (cancel != nullptr && cancel->enabled) add(TerminalWord::kKeyEscCancel);
      if (text.empty()) add(TerminalWord::kHintBusy);
    }
    const int column = std::max((canvas_.columns() - TextWidth(text)) / 2, 0);
    canvas_.Put(row, column, text, {Tone::kDim});
  }

  const HostToolkit& toolkit_;
  TerminalView& view_;
  Canvas& canvas_;
  const Glyphs& g_;
  bool showFocus_ = false;
};

}  // namespace

void PaintScreen(const HostToolkit& toolkit, TerminalView& view, Canvas& canvas) {
  Painter(toolkit, view, canvas).Paint();
}

}  // namespace kestrune::ui::host
