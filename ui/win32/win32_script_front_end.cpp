#include "platform/win32/windows_support.h"

#include "ui/win32/win32_script_front_end.h"

#include <commctrl.h>

#include <memory>
#include <thread>

#include "text/utf8.h"
#include "ui/win32/win32_snapshot.h"
#include "wizard/dialog_templates.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::win32 {
namespace {

constexpr uint32_t kDriveCombo = 1201;
constexpr uint32_t kWriteRows = 1301;
constexpr uint32_t kWriteStatus = 1305;

WindowHandle Handle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

}  // namespace

ScriptFrontEnd::ScriptFrontEnd(Win32Toolkit& toolkit, Transcript& transcript, Options options)
    : ToolkitScreen(toolkit),
      snapshotFolder_(std::move(options.snapshotFolder)),
      engine_(*this, transcript, std::move(options.engine)) {}

ScriptFrontEnd::~ScriptFrontEnd() { Stop(); }

void ScriptFrontEnd::Start(HANDLE script) {
  std::thread([lines = engine_.lines(), script] {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(script, chunk, sizeof chunk, &got, nullptr) != FALSE && got != 0) {
      lines->Append(chunk, got);
    }
    lines->Finish();
  }).detach();
  engine_.Start();
}

// --- What the engine asks of the toolkit ---

void ScriptFrontEnd::Post(std::function<void()> work) { toolkit_.PostInput(std::move(work)); }

std::optional<ScriptedScreen::DriveList> ScriptFrontEnd::ActiveDriveList() {
  const WindowHandle page = Handle(toolkit_.ActivePageWindow());
  if (page == nullptr || toolkit_.ActivePageTemplate() != kTemplateDrive) return std::nullopt;
  DriveList list;
  const int count = toolkit_.ItemCount(page, kDriveCombo);
  for (int i = 0; i < count; ++i) {
    list.entries.push_back(
        {toolkit_.ItemText(page, kDriveCombo, i), toolkit_.ItemData(page, kDriveCombo, i)});
  }
  list.selection = toolkit_.GetSelection(page, kDriveCombo);
  return list;
}

std::optional<int> ScriptFrontEnd::OpenBoxDefault() {
  const MessageBoxRecord* box = toolkit_.UnansweredBox();
  if (box == nullptr) return std::nullopt;
  return box->DefaultButton();
}

ScriptedScreen::Look ScriptFrontEnd::LookAtScreen() {
  Look look;
  if (HWND sheet = toolkit_.SheetWindow()) {
    HWND cancel = GetDlgItem(sheet, IDCANCEL);
    look.pageLine = PageLine(PageName(toolkit_.ActivePageTemplate()), toolkit_.WizardButtons(),
                             cancel != nullptr && IsWindowEnabled(cancel) != FALSE);
  }
  if (HWND drive = toolkit_.PageWindowOf(kTemplateDrive)) {
    look.drives.emplace();
    const int count = toolkit_.ItemCount(Handle(drive), kDriveCombo);
    for (int i = 0; i < count; ++i) {
      look.drives->push_back(toolkit_.ItemText(Handle(drive), kDriveCombo, i));
    }
  }
  if (HWND write = toolkit_.PageWindowOf(kTemplateWrite)) {
    look.rows.emplace();
    const int rows = toolkit_.ItemCount(Handle(write), kWriteRows);
    for (int i = 0; i < rows; ++i) {
      look.rows->emplace_back(toolkit_.GetItemText(Handle(write), kWriteRows, i, 0),
                              toolkit_.GetItemText(Handle(write), kWriteRows, i, 1));
    }
    look.status = toolkit_.GetText(Handle(write), kWriteStatus);
  }
  return look;
}

bool ScriptFrontEnd::DumpPage(std::vector<std::string>& lines) {
  HWND page = toolkit_.ActivePageWindow();
  const DialogTemplate* layout = FindDialogTemplate(toolkit_.ActivePageTemplate());
  if (page == nullptr || layout == nullptr) return false;
  // The dialog manager makes the controls in template order, each below the one before.
  HWND child = GetWindow(page, GW_CHILD);
  for (const TemplateControl& control : layout->controls) {
    if (child == nullptr) break;
    HWND window = child;
    child = GetWindow(child, GW_HWNDNEXT);
    if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    // A control without an id goes by its template text: "s" and the text's number.
    std::string id = control.id != kUnaddressedControl ? "" : "s";
    id += std::to_string(control.id != kUnaddressedControl ? control.id : control.textId);
    if (control.kind == ControlKind::kListView) {
      const int rows = toolkit_.ItemCount(Handle(page), control.id);
      const HWND header = reinterpret_cast<HWND>(SendMessageW(window, LVM_GETHEADER, 0, 0));
      const auto columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
      for (int row = 0; row < rows; ++row) {
        std::string line = "item " + id + " " + std::to_string(row + 1);
        for (int column = 0; column < columns; ++column) {
          line.push_back(' ');
          line.append(Quote(toolkit_.GetItemText(Handle(page), control.id, row, column)));
        }
        lines.push_back(line);
      }
    } else if (control.kind != ControlKind::kProgress && control.kind != ControlKind::kIcon &&
               control.kind != ControlKind::kComboBox) {
      const std::wstring text = WindowText(window);
      if (!text.empty()) lines.push_back("text " + id + " " + Quote(text));
    }
  }
  return true;
}

std::string ScriptFrontEnd::Snapshot(const std::string& name) {
  if (snapshotFolder_.empty()) return {};
  std::wstring path = snapshotFolder_;
  path += L'\\';
  path += text::WideFromUtf8(name);
  path += L".bmp";
  if (!SaveThreadWindowsPicture(path)) return "cannot save the snapshot";
  return {};
}

// --- What the toolkit reports ---

void ScriptFrontEnd::OnIdle() { engine_.OnIdle(); }

void ScriptFrontEnd::OnMessageBoxOpened(MessageBoxRecord& box) {
  engine_.OnBoxOpened(box.id, BoxLine(box), box.DefaultButton());
}

void ScriptFrontEnd::OnMessageBoxClosed(const MessageBoxRecord& box) {
  engine_.OnBoxClosed(box.id, box.answered ? std::optional<int>(box.answer) : std::nullopt);
}

void ScriptFrontEnd::OnSheetEnded(intptr_t result) { engine_.OnSheetEnded(result); }

}  // namespace kestrune::ui::win32
