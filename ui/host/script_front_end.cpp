#include "ui/host/script_front_end.h"

#include <poll.h>
#include <unistd.h>

#include "wizard/dialog_templates.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

constexpr uint32_t kDriveCombo = 1201;
constexpr uint32_t kWriteRows = 1301;
constexpr uint32_t kWriteStatus = 1305;

}  // namespace

ScriptFrontEnd::ScriptFrontEnd(HostToolkit& toolkit, Transcript& transcript, Options options)
    : ToolkitScreen(toolkit), engine_(*this, transcript, std::move(options)) {}

ScriptFrontEnd::~ScriptFrontEnd() { Stop(); }

void ScriptFrontEnd::Start(int script) {
  reader_ = std::thread([this, script] { Read(script); });
  engine_.Start();
}

void ScriptFrontEnd::Stop() {
  engine_.Stop();
  if (stopPipe_.write.valid()) {
    const char wake = 1;
    static_cast<void>(::write(stopPipe_.write.get(), &wake, 1));
  }
  if (reader_.joinable()) reader_.join();
}

void ScriptFrontEnd::Read(int script) {
  ScriptLines& lines = *engine_.lines();
  for (;;) {
    pollfd fds[2] = {{script, POLLIN, 0}, {stopPipe_.read.get(), POLLIN, 0}};
    if (::poll(fds, stopPipe_.read.valid() ? 2 : 1, -1) < 0) continue;
    if ((fds[1].revents & POLLIN) != 0) return;
    char chunk[4096];
    const ssize_t got = ::read(script, chunk, sizeof chunk);
    if (got <= 0) {
      lines.Finish();
      return;
    }
    lines.Append(chunk, static_cast<size_t>(got));
  }
}

// --- What the engine asks of the toolkit ---

void ScriptFrontEnd::Post(std::function<void()> work) {
  toolkit_.loop().PostInput(std::move(work));
}

std::optional<ScriptedScreen::DriveList> ScriptFrontEnd::ActiveDriveList() {
  const HostWindow* page = toolkit_.ActivePageWindow();
  const ControlModel* combo = page == nullptr ? nullptr : page->Control(kDriveCombo);
  if (combo == nullptr) return std::nullopt;
  DriveList list;
  for (const ComboItem& item : combo->items) list.entries.push_back({item.text, item.data});
  list.selection = combo->selection;
  return list;
}

std::optional<int> ScriptFrontEnd::OpenBoxDefault() {
  const auto& boxes = toolkit_.OpenBoxes();
  if (boxes.empty()) return std::nullopt;
  return boxes.back()->DefaultButton();
}

ScriptedScreen::Look ScriptFrontEnd::LookAtScreen() {
  Look look;
  if (const HostWindow* sheet = toolkit_.Window(toolkit_.SheetWindow())) {
    const ControlModel* cancel = sheet->Control(static_cast<uint32_t>(wm::kIdCancel));
    look.pageLine = PageLine(PageName(toolkit_.ActivePageTemplate()), toolkit_.WizardButtons(),
                             cancel != nullptr && cancel->enabled);
  }
  if (const HostWindow* drive = toolkit_.PageWindowOf(kTemplateDrive)) {
    if (const ControlModel* combo = drive->Control(kDriveCombo)) {
      look.drives.emplace();
      for (const ComboItem& item : combo->items) look.drives->push_back(item.text);
    }
  }
  if (const HostWindow* write = toolkit_.PageWindowOf(kTemplateWrite)) {
    if (const ControlModel* rows = write->Control(kWriteRows)) {
      look.rows.emplace();
      for (const auto& row : rows->rows) {
        look.rows->emplace_back(row.texts[0], row.texts.size() > 1 ? row.texts[1] : L"");
      }
    }
    if (const ControlModel* status = write->Control(kWriteStatus)) look.status = status->text;
  }
  return look;
}

bool ScriptFrontEnd::DumpPage(std::vector<std::string>& lines) {
  const HostWindow* page = toolkit_.ActivePageWindow();
  if (page == nullptr) return false;
  for (const ControlModel& control : page->controls) {
    if (!control.visible) continue;
    const std::string id = control.id != kUnaddressedControl ? std::to_string(control.id)
                                                             : "s" + std::to_string(control.textId);
    if (control.kind == ControlKind::kListView) {
      for (size_t row = 0; row < control.rows.size(); ++row) {
        std::string line = "item " + id + " " + std::to_string(row + 1);
        for (const std::wstring& text : control.rows[row].texts) line += " " + Quote(text);
        lines.push_back(line);
      }
    } else if (control.kind != ControlKind::kProgress && control.kind != ControlKind::kIcon &&
               control.kind != ControlKind::kComboBox && !control.text.empty()) {
      lines.push_back("text " + id + " " + Quote(control.text));
    }
  }
  return true;
}

std::string ScriptFrontEnd::Snapshot(const std::string&) { return {}; }

// --- What the toolkit reports ---

void ScriptFrontEnd::OnIdle() { engine_.OnIdle(); }

void ScriptFrontEnd::OnMessageBoxOpened(const MessageBoxState& box) {
  engine_.OnBoxOpened(box.id, BoxLine(box), box.DefaultButton());
}

void ScriptFrontEnd::OnMessageBoxClosed(const MessageBoxState& box) {
  engine_.OnBoxClosed(box.id, box.answered ? std::optional<int>(box.answer) : std::nullopt);
}

void ScriptFrontEnd::OnSheetEnded(intptr_t result) { engine_.OnSheetEnded(result); }

}  // namespace kestrune::ui::host
