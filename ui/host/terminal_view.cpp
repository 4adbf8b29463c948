#include "ui/host/terminal_view.h"

#include <algorithm>

#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

// Icon resources of the Write page's image list.
constexpr uint32_t kIconPending = 132;
constexpr uint32_t kIconComplete = 130;
constexpr uint32_t kIconRunning = 129;
constexpr uint32_t kIconFailed = 131;

bool TakesFocus(const ControlModel& control, const TerminalView& view) {
  if (!control.visible || !control.enabled) return false;
  switch (control.kind) {
    case ControlKind::kComboBox:
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      return true;
    case ControlKind::kListView:
      return control.checkBoxes || view.scrollable.count(control.id) != 0;
    case ControlKind::kEdit:
      return view.scrollable.count(control.id) != 0;
    default:
      return false;
  }
}

bool IsSheetButton(uint32_t id) {
  return id == HostToolkit::kBackButton || id == HostToolkit::kNextButton ||
         id == static_cast<uint32_t>(wm::kIdCancel);
}

}  // namespace

Glyphs Glyphs::Unicode() {
  Glyphs g;
  g.unicode = true;
  g.horizontal = L'─';
  g.vertical = L'│';
  g.topLeft = L'┌';
  g.topRight = L'┐';
  g.bottomLeft = L'└';
  g.bottomRight = L'┘';
  g.teeLeft = L'├';
  g.teeRight = L'┤';
  g.checked = L"[✔]";
  g.unchecked = L"[ ]";
  g.radioOn = L"(●)";
  g.radioOff = L"( )";
  g.comboArrow = L'▾';
  g.scrollUp = L'▴';
  g.scrollDown = L'▾';
  g.barFull = L'█';
  g.barEmpty = L'░';
  g.focusLeft = L'▸';
  g.focusRight = L'◂';
  g.spinner = L"⠋⠙⠹⠸⠼⠴⠦⠧⠇⠏";
  return g;
}

Glyphs Glyphs::Ascii() {
  Glyphs g;
  g.unicode = false;
  g.horizontal = L'-';
  g.vertical = L'|';
  g.topLeft = g.topRight = g.bottomLeft = g.bottomRight = g.teeLeft = g.teeRight = L'+';
  g.checked = L"[x]";
  g.unchecked = L"[ ]";
  g.radioOn = L"(*)";
  g.radioOff = L"( )";
  g.comboArrow = L'v';
  g.scrollUp = L'^';
  g.scrollDown = L'v';
  g.barFull = L'#';
  g.barEmpty = L'.';
  g.focusLeft = L'>';
  g.focusRight = L'<';
  g.spinner = L"|/-\\";
  return g;
}

std::wstring Glyphs::Icon(uint32_t iconId, Tone& tone) const {
  switch (iconId) {
    case kIconPending:
      tone = Tone::kDim;
      return unicode ? L"◦" : L"-";
    case kIconComplete:
      tone = Tone::kGood;
      return unicode ? L"✔" : L"+";
    case kIconRunning:
      tone = Tone::kBusy;
      return unicode ? L"➜" : L">";
    case kIconFailed:
      tone = Tone::kWarning;
      return unicode ? L"✖" : L"!";
    default:
      tone = Tone::kNormal;
      return L" ";
  }
}

std::wstring Glyphs::BoxIcon(uint32_t flags, Tone& tone) const {
  switch (flags & 0xF0) {
    case wm::kMbIconError:
      tone = Tone::kWarning;
      return unicode ? L"✖" : L"X";
    case 0x20:  // question
      tone = Tone::kBusy;
      return L"?";
    case wm::kMbIconWarning:
      tone = Tone::kWarning;
      return unicode ? L"⚠" : L"!";
    case wm::kMbIconInformation:
      tone = Tone::kBusy;
      return unicode ? L"ℹ" : L"i";
    default:
      return {};
  }
}

std::wstring Word(TerminalWord word, Language language, bool unicode) {
  // A terminal that shows ASCII only cannot show Japanese: its own words are English then.
  const bool ja = language == Language::kJapanese && unicode;
  switch (word) {
    case TerminalWord::kBack:
      return ja ? L"戻る" : L"Back";
    case TerminalWord::kNext:
      return ja ? L"次へ" : L"Next";
    case TerminalWord::kCancel:
      return ja ? L"キャンセル" : L"Cancel";
    case TerminalWord::kOk:
      return L"OK";
    case TerminalWord::kYes:
      return ja ? L"はい" : L"Yes";
    case TerminalWord::kNo:
      return ja ? L"いいえ" : L"No";
    case TerminalWord::kKeyTab:
      return ja ? L"Tab: 移動" : L"Tab: move";
    case TerminalWord::kKeyRows:
      return ja ? L"↑↓: 行" : unicode ? L"↑↓: row" : L"Up/Down: row";
    case TerminalWord::kKeySpaceChoose:
      return ja ? L"Space: 選択" : L"Space: choose";
    case TerminalWord::kKeySpaceTick:
      return ja ? L"Space: チェック" : L"Space: tick";
    case TerminalWord::kKeySpaceOpen:
      return ja ? L"Space: ドライブの一覧を開く" : L"Space: open the list of drives";
    case TerminalWord::kKeySpacePress:
      return ja ? L"Space: ボタンを押す" : L"Space: press";
    case TerminalWord::kKeyEnterNext:
      return ja ? L"Enter: 次へ" : L"Enter: Next";
    case TerminalWord::kKeyEscCancel:
      return ja ? L"Esc: キャンセル" : L"Esc: Cancel";
    case TerminalWord::kHintBox:
      if (ja) return L"←→: ボタン  Enter: 決定";
      return unicode ? L"←→: button  Enter: press" : L"Left/Right: button  Enter: press";
    case TerminalWord::kHintDropDown:
      if (ja) return L"↑↓: 選ぶ  Enter: 決定  Esc: 閉じる";
      return unicode ? L"↑↓: choose  Enter: select  Esc: close"
                     : L"Up/Down: choose  Enter: select  Esc: close";
    case TerminalWord::kHintBusy:
      return ja ? L"お待ちください…" : L"Please wait...";
    case TerminalWord::kTooSmall:
      return ja ? L"端末のウィンドウを 60×18 以上に広げてください。"
                : L"Please make the terminal window at least 60x18.";
  }
  return {};
}

std::vector<uint32_t> FocusOrder(const HostToolkit& toolkit, const TerminalView& view) {
  std::vector<uint32_t> order;
  if (const HostWindow* page = toolkit.ActivePageWindow()) {
    for (const ControlModel& control : page->controls) {
      if (TakesFocus(control, view)) order.push_back(control.id);
    }
  }
  const HostWindow* sheet = toolkit.Window(toolkit.SheetWindow());
  if (sheet == nullptr) return order;
  if (toolkit.WizardButtons() & wm::kWizButtonBack) order.push_back(HostToolkit::kBackButton);
  if (toolkit.WizardButtons() & wm::kWizButtonNext) order.push_back(HostToolkit::kNextButton);
  const ControlModel* cancel = sheet->Control(static_cast<uint32_t>(wm::kIdCancel));
  if (cancel != nullptr && cancel->enabled) order.push_back(static_cast<uint32_t>(wm::kIdCancel));
  return order;
}

void SyncView(const HostToolkit& toolkit, TerminalView& view) {
  const uint32_t page = toolkit.ActivePageTemplate();
  if (page != view.page) {
    view.page = page;
    view.focus = 0;
    view.focusChosen = false;
    view.cursor.clear();
    view.scroll.clear();
    view.scrollable.clear();
    view.visibleRows.clear();
    view.contentRows.clear();
    view.dropDown = false;
  }
  const std::vector<uint32_t> order = FocusOrder(toolkit, view);
  const bool focusable = std::find(order.begin(), order.end(), view.focus) != order.end();
  if (!view.focusChosen || !focusable) {
    // By itself the focus rests on the first control of the page, else on Next; never on
    // Cancel, so that Enter never asks to stop by accident.
    view.focusChosen = false;
    view.focus = 0;
    for (const uint32_t id : order) {
      if (!IsSheetButton(id) || id == HostToolkit::kNextButton) {
        view.focus = id;
        break;
      }
    }
  }
  if (view.dropDown) {
    const HostWindow* window = toolkit.ActivePageWindow();
    const ControlModel* combo = window == nullptr ? nullptr : window->Control(view.focus);
    if (combo == nullptr || combo->kind != ControlKind::kComboBox || combo->items.empty()) {
      view.dropDown = false;
    }
  }
  const auto& boxes = toolkit.OpenBoxes();
  std::erase_if(view.boxFocus, [&boxes](const auto& entry) {
    return std::find(boxes.begin(), boxes.end(), entry.first) == boxes.end();
  });
  for (const MessageBoxState* box : boxes) view.boxFocus.try_emplace(box, box->DefaultButton());
}

}  // namespace kestrune::ui::host
