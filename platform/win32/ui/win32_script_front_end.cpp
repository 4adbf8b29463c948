#include "platform/win32/windows_support.h"

#include "platform/win32/ui/win32_script_front_end.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <regex>
#include <sstream>

#include "platform/win32/ui/win32_snapshot.h"
#include "wizard/dialog_templates.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_messages.h"

namespace kestrune::platform::win32 {
namespace {

using Clock = std::chrono::steady_clock;

/// How long a command that does not fit waits for the screen to change before trying again.
constexpr std::chrono::milliseconds kRetryPause(20);

constexpr uint32_t kDriveCombo = 1201;
constexpr uint32_t kDiscList = 1202;
constexpr uint32_t kDvdRadio = 1252;
constexpr uint32_t kCompareCheck = 1601;
constexpr uint32_t kWriteRows = 1301;
constexpr uint32_t kWriteStatus = 1305;

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream stream(line);
  std::string word;
  while (stream >> word) words.push_back(word);
  return words;
}

/// The rest of `line` after its first `count` words, as written.
std::string RestAfterWords(const std::string& line, size_t count) {
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    at = line.find_first_not_of(" \t", at);
    at = line.find_first_of(" \t", at);
    if (at == std::string::npos) return {};
  }
  at = line.find_first_not_of(" \t", at);
  if (at == std::string::npos) return {};
  const size_t end = line.find_last_not_of(" \t");
  return line.substr(at, end - at + 1);
}

bool ParseNumber(const std::string& text, int& value) {
  if (text.empty() || text.size() > 6) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

struct Ack {
  bool done = false;
  std::string error;
};

WindowHandle Handle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

}  // namespace

/// Lines read from the script; the reader thread holds a reference while it reads.
struct ScriptFrontEnd::Lines {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> lines;
  bool ended = false;
};

ScriptFrontEnd::ScriptFrontEnd(Win32Toolkit& toolkit, Transcript& transcript, Options options)
    : toolkit_(toolkit),
      transcript_(transcript),
      options_(std::move(options)),
      lines_(std::make_shared<Lines>()) {}

ScriptFrontEnd::~ScriptFrontEnd() { Stop(); }

void ScriptFrontEnd::Start(HANDLE script) {
  // A blocked read cannot be interrupted everywhere (a console, a pipe whose writer lingers),
  // so the reader is detached and shares only the lines with the front end.
  std::thread([lines = lines_, script] {
    std::string buffer;
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
      const bool read = ReadFile(script, chunk, sizeof chunk, &got, nullptr) != FALSE;
      std::lock_guard lock(lines->mutex);
      if (!read || got == 0) {
        if (!buffer.empty()) lines->lines.push_back(buffer);
        lines->ended = true;
        lines->changed.notify_all();
        return;
      }
      buffer.append(chunk, got);
      for (size_t end = buffer.find('\n'); end != std::string::npos; end = buffer.find('\n')) {
        std::string line = buffer.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->lines.push_back(std::move(line));
        buffer.erase(0, end + 1);
      }
      lines->changed.notify_all();
    }
  }).detach();
  thread_ = std::thread([this] { RunScript(); });
}

void ScriptFrontEnd::Stop() {
  stopping_ = true;
  {
    std::lock_guard lock(lines_->mutex);
    lines_->changed.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void ScriptFrontEnd::RunScript() {
  int number = 0;
  for (;;) {
    std::string line;
    {
      std::unique_lock lock(lines_->mutex);
      lines_->changed.wait(lock,
                           [&] { return stopping_ || !lines_->lines.empty() || lines_->ended; });
      if (stopping_) return;
      if (lines_->lines.empty()) break;
      line = std::move(lines_->lines.front());
      lines_->lines.pop_front();
    }
    ++number;
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') continue;
    std::vector<std::string> command = words;
    if (words[0] == "wait" && words.size() >= 3 && (words[1] == "status" || words[1] == "drives")) {
      command = {words[0], words[1], RestAfterWords(line, 2)};
    }
    const std::string error = Execute(number, command);
    if (stopping_) return;
    if (!error.empty()) {
      Fail(number, error);
      return;
    }
  }
  const std::string error = Wait({"wait", "end"});
  if (!error.empty()) Fail(number + 1, error);
}

std::string ScriptFrontEnd::Execute(int line, const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  const size_t args = words.size() - 1;
  auto usage = [](const char* form) { return std::string("usage: ") + form; };
  if (verb == "next" && args == 0) {
    return RunOnUi([this](const auto& accepted) { return toolkit_.PressNext(accepted); });
  }
  if (verb == "back" && args == 0) {
    return RunOnUi([this](const auto& accepted) { return toolkit_.PressBack(accepted); });
  }
  if (verb == "cancel" && args == 0) {
    return RunOnUi([this](const auto& accepted) { return toolkit_.PressCancel(accepted); });
  }
  if (verb == "close" && args == 0) {
    return RunOnUi([this](const auto& accepted) { return toolkit_.RequestClose(accepted); });
  }
  if (verb == "select") {
    if (args != 1 || words[1].empty()) return usage("select L | select #N");
    const std::string target = words[1];
    return RunOnUi([this, target](const auto& accepted) -> std::string {
      const WindowHandle page = Handle(toolkit_.ActivePageWindow());
      if (page == nullptr || toolkit_.ActivePageTemplate() != kTemplateDrive) {
        return "the drive list is not showing";
      }
      const int count = toolkit_.ItemCount(page, kDriveCombo);
      int index = -1;
      if (target[0] == '#') {
        if (!ParseNumber(target.substr(1), index) || index < 1) return "bad entry number";
        --index;
      } else {
        const auto letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(target[0])));
        for (int i = 0; i < count; ++i) {
          const std::wstring text = toolkit_.ItemText(page, kDriveCombo, i);
          if (target.size() == 1 && text.size() > 2 && text[0] == L'(' && text[2] == letter) {
            index = i;
          }
        }
        if (index < 0) return "no drive " + target + " in the drive list";
      }
      return toolkit_.SelectComboItem(kDriveCombo, index, accepted);
    });
  }
  if (verb == "disc-type") {
    if (args != 1 || (words[1] != "dvd" && words[1] != "usb")) return usage("disc-type dvd|usb");
    if (words[1] == "dvd") {
      return RunOnUi(
          [this](const auto& accepted) { return toolkit_.ClickButton(kDvdRadio, true, accepted); });
    }
    return RunOnUi([this](const auto& accepted) -> std::string {
      const WindowHandle page = Handle(toolkit_.ActivePageWindow());
      const int selection = page == nullptr ? -1 : toolkit_.GetSelection(page, kDriveCombo);
      if (selection < 0) return "no drive is chosen";
      if ((toolkit_.ItemData(page, kDriveCombo, selection) & 0xff00) == 0) {
        return "the chosen drive is not a USB drive";
      }
      if (accepted) accepted();
      return {};
    });
  }
  if (verb == "tick" || verb == "untick") {
    int row = 0;
    if (args != 1 || !ParseNumber(words[1], row) || row < 1) return usage("tick N | untick N");
    const bool tick = verb == "tick";
    return RunOnUi([this, row, tick](const auto& accepted) {
      return toolkit_.ClickListCheck(kDiscList, row - 1, tick, accepted);
    });
  }
  if (verb == "compare") {
    if (args != 1 || (words[1] != "on" && words[1] != "off")) return usage("compare on|off");
    const bool on = words[1] == "on";
    return RunOnUi([this, on](const auto& accepted) {
      return toolkit_.ClickButton(kCompareCheck, on, accepted);
    });
  }
  if (verb == "answer") {
    if (args != 1 || (ButtonFromName(words[1]) == 0 && words[1] != "default")) {
      return usage("answer yes|no|ok|cancel|default");
    }
    return Answer(line, words[1]);
  }
  if (verb == "wait") return Wait(words);
  if (verb == "machine") return "no machine to change";
  if (verb == "dump" && args == 0) return Dump();
  if (verb == "snapshot" && args == 1) return Snapshot(words[1]);
  return "unknown command \"" + verb + "\"";
}

std::string ScriptFrontEnd::RunOnUi(const UiCommand& command, bool retry) {
  const auto deadline = Clock::now() + options_.timeout;
  std::string lastError = "the wizard does not answer";
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (ended_) return "the wizard has ended";
    }
    auto ack = std::make_shared<Ack>();
    toolkit_.PostInput([this, ack, command] {
      auto settle = [this, ack](const std::string& error) {
        std::lock_guard lock(mutex_);
        if (ack->done) return;
        ack->done = true;
        ack->error = error;
        changed_.notify_all();
      };
      const std::string error = command([&settle] { settle({}); });
      settle(error);
    });
    {
      std::unique_lock lock(mutex_);
      const bool answered =
          changed_.wait_until(lock, deadline, [&] { return ack->done || ended_ || stopping_; });
      if (stopping_) return {};
      if (!answered) return lastError;
      if (ack->done && ack->error.empty()) return {};
      if (!ack->done) return "the wizard has ended";
      lastError = ack->error;
    }
    if (!retry || Clock::now() >= deadline) return lastError;
    // Wait for the screen to change, as a person waits for a button to come alive.
    std::unique_lock lock(mutex_);
    const size_t seen = history_.size();
    changed_.wait_for(lock, kRetryPause, [&] { return history_.size() != seen || stopping_; });
  }
}

std::string ScriptFrontEnd::Answer(int line, const std::string& button) {
  return RunOnUi(
      [this, line, button](const Win32Toolkit::Accepted& accepted) -> std::string {
        MessageBoxRecord* box = toolkit_.UnansweredBox();
        if (box == nullptr) {
          {
            std::lock_guard lock(mutex_);
            pendingAnswers_.push_back({button, line});
          }
          if (accepted) accepted();
          return {};
        }
        const int value = button == "default" ? box->DefaultButton() : ButtonFromName(button);
        return toolkit_.AnswerBox(value, accepted);
      },
      false);
}

std::string ScriptFrontEnd::Wait(const std::vector<std::string>& words) {
  const char* usage =
      "usage: wait page NAME [BUTTONS] | box ID | status REGEX | drives REGEX | end";
  if (words.size() < 2) return usage;
  const std::string& what = words[1];
  std::function<bool(const Event&)> matches;
  std::function<bool()> now;
  std::string described;
  if (what == "end" && words.size() == 2) {
    now = [this] { return ended_; };
    matches = [](const Event& e) { return e.kind == "end"; };
    described = "the end of the wizard";
  } else if (what == "page" && (words.size() == 3 || words.size() == 4)) {
    const std::string page = words[2];
    const std::string buttons = words.size() == 4 ? words[3] : "";
    auto fits = [page, buttons](const std::string& value) {
      if (value.rfind(page + " ", 0) != 0) return false;
      return buttons.empty() || value.find(" buttons=" + buttons + " ") != std::string::npos;
    };
    now = [this, fits] { return fits(currentPage_); };
    matches = [fits](const Event& e) { return e.kind == "page" && fits(e.value); };
    described = "page " + page + (buttons.empty() ? "" : " with buttons " + buttons);
  } else if (what == "box" && words.size() == 3) {
    int id = 0;
    if (!ParseNumber(words[2], id)) return "usage: wait box ID";
    const auto box = static_cast<uint32_t>(id);
    now = [this, box] {
      return std::find(openBoxes_.begin(), openBoxes_.end(), box) != openBoxes_.end();
    };
    matches = [box](const Event& e) { return e.kind == "box" && e.value == std::to_string(box); };
    described = "box " + words[2];
  } else if ((what == "status" || what == "drives") && words.size() == 3 && !words[2].empty()) {
    std::regex pattern;
    try {
      pattern = std::regex(words[2]);
    } catch (const std::regex_error&) {
      return "bad pattern " + words[2];
    }
    const std::string kind = what;
    now = [this, kind, pattern] {
      return std::regex_search(kind == "status" ? currentStatus_ : currentDrives_, pattern);
    };
    matches = [kind, pattern](const Event& e) {
      return e.kind == kind && std::regex_search(e.value, pattern);
    };
    described = what + " matching " + words[2];
  } else {
    return usage;
  }

  std::unique_lock lock(mutex_);
  const size_t start = history_.size();
  auto satisfied = [&] {
    if (now()) return true;
    for (size_t i = start; i < history_.size(); ++i) {
      if (matches(history_[i])) return true;
    }
    return false;
  };
  const bool met = changed_.wait_for(lock, options_.timeout, [&] {
    return stopping_ || satisfied() || (ended_ && what != "end");
  });
  if (stopping_ || satisfied()) return {};
  if (!met) {
    return "waited " + std::to_string(options_.timeout.count() / 1000) + " s for " + described;
  }
  return "the wizard ended before " + described;
}

std::string ScriptFrontEnd::Dump() {
  return RunOnUi([this](const Win32Toolkit::Accepted& accepted) -> std::string {
    HWND page = toolkit_.ActivePageWindow();
    const DialogTemplate* layout = FindDialogTemplate(toolkit_.ActivePageTemplate());
    if (page == nullptr || layout == nullptr) return "no page is showing";
    if (accepted) accepted();
    // The dialog manager makes the controls in template order, each below the one before.
    HWND child = GetWindow(page, GW_CHILD);
    for (const TemplateControl& control : layout->controls) {
      if (child == nullptr) break;
      HWND window = child;
      child = GetWindow(child, GW_HWNDNEXT);
      if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      const std::string id = control.id != kUnaddressedControl
                                 ? std::to_string(control.id)
                                 : "s" + std::to_string(control.textId);
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
          transcript_.Write(line);
        }
      } else if (control.kind != ControlKind::kProgress && control.kind != ControlKind::kIcon &&
                 control.kind != ControlKind::kComboBox) {
        const int length = GetWindowTextLengthW(window);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
        if (!text.empty()) transcript_.Write("text " + id + " " + Quote(text));
      }
    }
    return {};
  });
}

std::string ScriptFrontEnd::Snapshot(const std::string& name) {
  if (options_.snapshotFolder.empty()) return {};
  const std::wstring path =
      options_.snapshotFolder + L"\\" + std::wstring(name.begin(), name.end()) + L".bmp";
  return RunOnUi(
      [path](const Win32Toolkit::Accepted& accepted) -> std::string {
        if (accepted) accepted();
        if (!SaveThreadWindowsPicture(path)) return "cannot save the snapshot";
        return {};
      },
      false);
}

void ScriptFrontEnd::Fail(int line, const std::string& reason) {
  if (failed_.exchange(true)) return;
  transcript_.Write("script-error " + std::to_string(line) + ": " + reason);
  toolkit_.PostInput([this] { toolkit_.EndSession(0); });
}

// --- The screen (UI thread) ---

void ScriptFrontEnd::Emit(const std::string& kind, const std::string& value,
                          const std::string& line) {
  transcript_.Write(line);
  std::lock_guard lock(mutex_);
  history_.push_back({kind, value});
  if (kind == "page") currentPage_ = value;
  if (kind == "status") currentStatus_ = value;
  if (kind == "drives") currentDrives_ = value;
  changed_.notify_all();
}

void ScriptFrontEnd::OnIdle() { Scrape(); }

void ScriptFrontEnd::Scrape() {
  HWND sheet = toolkit_.SheetWindow();
  if (sheet != nullptr) {
    HWND cancel = GetDlgItem(sheet, IDCANCEL);
    const std::string page = PageName(toolkit_.ActivePageTemplate());
    const std::string line = PageLine(page, toolkit_.WizardButtons(),
                                      cancel != nullptr && IsWindowEnabled(cancel) != FALSE);
    if (line != lastPage_) {
      lastPage_ = line;
      Emit("page", line.substr(5), line);
    }
  }
  if (HWND drive = toolkit_.PageWindowOf(kTemplateDrive)) {
    std::vector<std::wstring> entries;
    const int count = toolkit_.ItemCount(Handle(drive), kDriveCombo);
    for (int i = 0; i < count; ++i)
      entries.push_back(toolkit_.ItemText(Handle(drive), kDriveCombo, i));
    const std::string line = DrivesLine(entries);
    if (line != lastDrives_) {
      lastDrives_ = line;
      Emit("drives", line.substr(7), line);
    }
  }
  if (HWND write = toolkit_.PageWindowOf(kTemplateWrite)) {
    std::vector<std::string> lines;
    const int rows = toolkit_.ItemCount(Handle(write), kWriteRows);
    for (int i = 0; i < rows; ++i) {
      lines.push_back(RowLine(i + 1, toolkit_.GetItemText(Handle(write), kWriteRows, i, 0),
                              toolkit_.GetItemText(Handle(write), kWriteRows, i, 1)));
      if (static_cast<size_t>(i) >= lastRows_.size() ||
          lastRows_[static_cast<size_t>(i)] != lines.back()) {
        Emit("row", lines.back(), lines.back());
      }
    }
    lastRows_ = lines;
    const std::wstring status = toolkit_.GetText(Handle(write), kWriteStatus);
    const std::string line = StatusLine(status);
    if (line != lastStatus_) {
      lastStatus_ = line;
      Emit("status", windows::NarrowText(status, CP_UTF8), line);
    }
  }
}

void ScriptFrontEnd::OnMessageBoxOpened(MessageBoxRecord& box) {
  Scrape();
  {
    std::lock_guard lock(mutex_);
    openBoxes_.push_back(box.id);
  }
  Emit("box", std::to_string(box.id), BoxLine(box));
  PendingAnswer pending;
  {
    std::lock_guard lock(mutex_);
    if (pendingAnswers_.empty()) return;
    pending = pendingAnswers_.front();
    pendingAnswers_.pop_front();
  }
  const int button =
      pending.button == "default" ? box.DefaultButton() : ButtonFromName(pending.button);
  const std::string error = toolkit_.AnswerBox(button);
  if (!error.empty()) Fail(pending.line, error);
}

void ScriptFrontEnd::OnMessageBoxClosed(const MessageBoxRecord& box) {
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find(openBoxes_.rbegin(), openBoxes_.rend(), box.id);
    if (it != openBoxes_.rend()) openBoxes_.erase(std::next(it).base());
  }
  if (box.answered) transcript_.Write("answer " + ButtonName(box.answer));
}

void ScriptFrontEnd::OnSheetEnded(intptr_t result) {
  transcript_.Write("end " + std::to_string(result));
  std::lock_guard lock(mutex_);
  ended_ = true;
  history_.push_back({"end", std::to_string(result)});
  changed_.notify_all();
}

}  // namespace kestrune::platform::win32
