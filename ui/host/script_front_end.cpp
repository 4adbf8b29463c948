#include "ui/host/script_front_end.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <regex>
#include <sstream>

#include "text/utf8.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::host {
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

}  // namespace

ScriptFrontEnd::ScriptFrontEnd(HostToolkit& toolkit, Transcript& transcript, Options options)
    : toolkit_(toolkit), transcript_(transcript), options_(std::move(options)) {
  if (::pipe(stopPipe_) != 0) stopPipe_[0] = stopPipe_[1] = -1;
}

ScriptFrontEnd::~ScriptFrontEnd() {
  Stop();
  for (const int fd : stopPipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void ScriptFrontEnd::Start(int script) {
  thread_ = std::thread([this, script] { RunScript(script); });
}

void ScriptFrontEnd::Stop() {
  {
    // Under the mutex, so that no wait misses it between its check and its sleep.
    platform::MutexLock lock(mutex_);
    stopping_ = true;
  }
  if (stopPipe_[1] >= 0) {
    const char wake = 1;
    static_cast<void>(::write(stopPipe_[1], &wake, 1));
  }
  changed_.NotifyAll();
  if (thread_.joinable()) thread_.join();
}

// --- Reading the script (script thread) ---

bool ScriptFrontEnd::ReadLine(int script, std::string& buffer, std::string& line) {
  for (;;) {
    const size_t end = buffer.find('\n');
    if (end != std::string::npos) {
      line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (stopping_) return false;
    pollfd fds[2] = {{script, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(fds, stopPipe_[0] >= 0 ? 2 : 1, -1) < 0) continue;
    if (stopping_) return false;
    char chunk[4096];
    const ssize_t got = ::read(script, chunk, sizeof chunk);
    if (got <= 0) {
      if (buffer.empty()) return false;
      line.swap(buffer);
      buffer.clear();
      return true;
    }
    buffer.append(chunk, static_cast<size_t>(got));
  }
}

void ScriptFrontEnd::RunScript(int script) {
  std::string buffer;
  std::string line;
  int number = 0;
  while (ReadLine(script, buffer, line)) {
    ++number;
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') continue;
    std::vector<std::string> command = words;
    if (words[0] == "wait" && words.size() >= 3 && (words[1] == "status" || words[1] == "drives")) {
      // A pattern may hold blanks.
      command = {words[0], words[1], RestAfterWords(line, 2)};
    }
    const std::string error = Execute(number, command);
    if (stopping_) return;
    if (!error.empty()) {
      Fail(number, error);
      return;
    }
  }
  if (stopping_) return;
  const std::string error = Wait({"wait", "end"});
  if (!error.empty()) Fail(number + 1, error);
}

std::string ScriptFrontEnd::Execute(int line, const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  const size_t args = words.size() - 1;
  auto usage = [&](const char* form) { return std::string("usage: ") + form; };
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
      const HostWindow* page = toolkit_.ActivePageWindow();
      const ControlModel* combo = page == nullptr ? nullptr : page->Control(kDriveCombo);
      if (combo == nullptr) return "the drive list is not showing";
      int index = -1;
      if (target[0] == '#') {
        if (!ParseNumber(target.substr(1), index) || index < 1) return "bad entry number";
        --index;
      } else {
        const auto letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(target[0])));
        for (size_t i = 0; i < combo->items.size(); ++i) {
          const std::wstring& text = combo->items[i].text;
          if (target.size() == 1 && text.size() > 2 && text[0] == L'(' && text[2] == letter) {
            index = static_cast<int>(i);
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
      const HostWindow* page = toolkit_.ActivePageWindow();
      const ControlModel* combo = page == nullptr ? nullptr : page->Control(kDriveCombo);
      if (combo == nullptr || combo->selection < 0) return "no drive is chosen";
      if ((combo->items[static_cast<size_t>(combo->selection)].data & 0xff00) == 0) {
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
  if (verb == "machine") return RunMachine(words);
  if (verb == "dump" && args == 0) return Dump();
  return "unknown command \"" + verb + "\"";
}

std::string ScriptFrontEnd::RunOnUi(const UiCommand& command, bool retry) {
  const auto deadline = Clock::now() + options_.timeout;
  std::string lastError = "the wizard does not answer";
  for (;;) {
    {
      platform::MutexLock lock(mutex_);
      if (ended_) return "the wizard has ended";
    }
    auto ack = std::make_shared<Ack>();
    ++pendingInputs_;
    toolkit_.loop().PostInput([this, ack, command] {
      bool counted = true;
      auto settle = [this, ack, &counted](const std::string& error) {
        if (counted) --pendingInputs_;
        counted = false;
        platform::MutexLock lock(mutex_);
        if (ack->done) return;
        ack->done = true;
        ack->error = error;
        changed_.NotifyAll();
      };
      const std::string error = command([&settle] { settle({}); });
      settle(error);
    });
    {
      platform::MutexLock lock(mutex_);
      while (!ack->done && !ended_ && !stopping_ && changed_.WaitUntil(lock, deadline)) {
      }
      if (stopping_) return {};
      if (ack->done && ack->error.empty()) return {};
      if (!ack->done) return ended_ ? "the wizard has ended" : lastError;
      lastError = ack->error;
    }
    if (!retry || Clock::now() >= deadline) return lastError;
    // Wait for the screen to change, as a person waits for a button to come alive.
    platform::MutexLock lock(mutex_);
    const size_t seen = history_.size();
    const auto pause = std::min(deadline, Clock::now() + kRetryPause);
    ++waiting_;
    while (history_.size() == seen && !stopping_ && changed_.WaitUntil(lock, pause)) {
    }
    --waiting_;
  }
}

std::string ScriptFrontEnd::Answer(int line, const std::string& button) {
  return RunOnUi(
      [this, line, button](const HostToolkit::Accepted& accepted) -> std::string {
        const auto& boxes = toolkit_.OpenBoxes();
        if (boxes.empty()) {
          {
            platform::MutexLock lock(mutex_);
            pendingAnswers_.push_back({button, line});
          }
          if (accepted) accepted();
          return {};
        }
        const int value =
            button == "default" ? boxes.back()->DefaultButton() : ButtonFromName(button);
        return toolkit_.AnswerBox(value, accepted);
      },
      false);
}

std::string ScriptFrontEnd::Wait(const std::vector<std::string>& words) {
  if (words.size() < 2) {
    return "usage: wait page NAME [BUTTONS] | box ID | status REGEX | drives REGEX | end";
  }
  const std::string& what = words[1];
  std::function<bool(const Event&)> matches;
  std::function<bool(const Screen&)> now;
  std::string described;
  if (what == "end" && words.size() == 2) {
    now = [](const Screen& screen) { return screen.ended; };
    matches = [](const Event& e) { return e.kind == "end"; };
    described = "the end of the wizard";
  } else if (what == "page" && (words.size() == 3 || words.size() == 4)) {
    // The page line without "page ": "drive buttons=Back,Next cancel=on".
    const std::string page = words[2];
    const std::string buttons = words.size() == 4 ? words[3] : "";
    auto fits = [page, buttons](const std::string& value) {
      if (value.rfind(page + " ", 0) != 0) return false;
      return buttons.empty() || value.find(" buttons=" + buttons + " ") != std::string::npos;
    };
    now = [fits](const Screen& screen) { return fits(screen.page); };
    matches = [fits](const Event& e) { return e.kind == "page" && fits(e.value); };
    described = "page " + page + (buttons.empty() ? "" : " with buttons " + buttons);
  } else if (what == "box" && words.size() == 3) {
    int id = 0;
    if (!ParseNumber(words[2], id)) return "usage: wait box ID";
    const auto box = static_cast<uint32_t>(id);
    now = [box](const Screen& screen) {
      return std::find(screen.boxes.begin(), screen.boxes.end(), box) != screen.boxes.end();
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
    now = [kind, pattern](const Screen& screen) {
      return std::regex_search(kind == "status" ? screen.status : screen.drives, pattern);
    };
    matches = [kind, pattern](const Event& e) {
      return e.kind == kind && std::regex_search(e.value, pattern);
    };
    described = what + " matching " + words[2];
  } else {
    return "usage: wait page NAME [BUTTONS] | box ID | status REGEX | drives REGEX | end";
  }

  const auto deadline = Clock::now() + options_.timeout;
  platform::MutexLock lock(mutex_);
  const size_t start = history_.size();
  size_t checked = start;
  bool met = false;
  ++waiting_;
  for (;;) {
    // Whatever the screen showed since the wait began counts, not only what it shows now.
    met = now(Screen{currentPage_, currentStatus_, currentDrives_, openBoxes_, ended_});
    for (; !met && checked < history_.size(); ++checked) met = matches(history_[checked]);
    if (met || stopping_ || (ended_ && what != "end")) break;
    if (!changed_.WaitUntil(lock, deadline)) break;
  }
  --waiting_;
  if (met || stopping_) return {};
  if (!ended_ || what == "end") {
    return "waited " + std::to_string(options_.timeout.count() / 1000) + " s for " + described;
  }
  return "the wizard ended before " + described;
}

std::string ScriptFrontEnd::RunMachine(const std::vector<std::string>& words) {
  if (words.size() < 2) return "usage: machine ARGS...";
  if (!options_.runMachineTool) return "no machine to change";
  const std::vector<std::string> arguments(words.begin() + 1, words.end());
  const int code = options_.runMachineTool(arguments);
  if (code != 0)
    return "kestrune-machine " + words[1] + " failed (exit " + std::to_string(code) + ")";
  if (options_.pollDevices) options_.pollDevices();
  return {};
}

std::string ScriptFrontEnd::Dump() {
  return RunOnUi([this](const HostToolkit::Accepted& accepted) -> std::string {
    const HostWindow* page = toolkit_.ActivePageWindow();
    if (page == nullptr) return "no page is showing";
    if (accepted) accepted();
    for (const ControlModel& control : page->controls) {
      if (!control.visible) continue;
      const std::string id = control.id != kUnaddressedControl
                                 ? std::to_string(control.id)
                                 : "s" + std::to_string(control.textId);
      if (control.kind == ControlKind::kListView) {
        for (size_t row = 0; row < control.rows.size(); ++row) {
          std::string line = "item " + id + " " + std::to_string(row + 1);
          for (const std::wstring& text : control.rows[row].texts) line += " " + Quote(text);
          transcript_.Write(line);
        }
      } else if (control.kind != ControlKind::kProgress && control.kind != ControlKind::kIcon &&
                 control.kind != ControlKind::kComboBox && !control.text.empty()) {
        transcript_.Write("text " + id + " " + Quote(control.text));
      }
    }
    return {};
  });
}

void ScriptFrontEnd::Fail(int line, const std::string& reason) {
  if (failed_.exchange(true)) return;
  transcript_.Write("script-error " + std::to_string(line) + ": " + reason);
  toolkit_.loop().PostInput([this] { toolkit_.EndSession(0); });
}

// --- The screen (UI thread) ---

void ScriptFrontEnd::Emit(const std::string& kind, const std::string& value,
                          const std::string& line) {
  transcript_.Write(line);
  platform::MutexLock lock(mutex_);
  history_.push_back({kind, value});
  if (kind == "page") currentPage_ = value;
  if (kind == "status") currentStatus_ = value;
  if (kind == "drives") currentDrives_ = value;
  changed_.NotifyAll();
}

void ScriptFrontEnd::OnIdle() { Scrape(); }

void ScriptFrontEnd::Scrape() {
  const HostWindow* sheet = toolkit_.Window(toolkit_.SheetWindow());
  if (sheet != nullptr) {
    const ControlModel* cancel = sheet->Control(static_cast<uint32_t>(wm::kIdCancel));
    const std::string page = PageName(toolkit_.ActivePageTemplate());
    const std::string line =
        PageLine(page, toolkit_.WizardButtons(), cancel != nullptr && cancel->enabled);
    if (line != lastPage_) {
      lastPage_ = line;
      Emit("page", line.substr(5), line);
    }
  }
  if (const HostWindow* drive = toolkit_.PageWindowOf(106)) {
    if (const ControlModel* combo = drive->Control(kDriveCombo)) {
      std::vector<std::wstring> entries;
      for (const ComboItem& item : combo->items) entries.push_back(item.text);
      const std::string line = DrivesLine(entries);
      if (line != lastDrives_) {
        lastDrives_ = line;
        Emit("drives", line.substr(7), line);
      }
    }
  }
  if (const HostWindow* write = toolkit_.PageWindowOf(107)) {
    if (const ControlModel* rows = write->Control(kWriteRows)) {
      std::vector<std::string> lines;
      for (size_t i = 0; i < rows->rows.size(); ++i) {
        const auto& texts = rows->rows[i].texts;
        lines.push_back(RowLine(static_cast<int>(i) + 1, texts[0],
                                texts.size() > 1 ? texts[1] : std::wstring()));
        if (i >= lastRows_.size() || lastRows_[i] != lines.back())
          Emit("row", lines.back(), lines.back());
      }
      lastRows_ = lines;
    }
    if (const ControlModel* status = write->Control(kWriteStatus)) {
      const std::string line = StatusLine(status->text);
      if (line != lastStatus_) {
        lastStatus_ = line;
        Emit("status", text::Utf8FromWide(status->text), line);
      }
    }
  }
}

void ScriptFrontEnd::OnMessageBoxOpened(const MessageBoxState& box) {
  Scrape();
  {
    platform::MutexLock lock(mutex_);
    openBoxes_.push_back(box.id);
  }
  Emit("box", std::to_string(box.id), BoxLine(box));
  PendingAnswer pending;
  {
    platform::MutexLock lock(mutex_);
    if (pendingAnswers_.empty()) return;
    pending = pendingAnswers_.front();
    pendingAnswers_.pop_front();
  }
  const int button =
      pending.button == "default" ? box.DefaultButton() : ButtonFromName(pending.button);
  const std::string error = toolkit_.AnswerBox(button);
  if (!error.empty()) Fail(pending.line, error);
}

void ScriptFrontEnd::OnMessageBoxClosed(const MessageBoxState& box) {
  {
    platform::MutexLock lock(mutex_);
    const auto it = std::find(openBoxes_.rbegin(), openBoxes_.rend(), box.id);
    if (it != openBoxes_.rend()) openBoxes_.erase(std::next(it).base());
  }
  if (box.answered) transcript_.Write("answer " + ButtonName(box.answer));
}

void ScriptFrontEnd::OnSheetEnded(intptr_t result) {
  transcript_.Write("end " + std::to_string(result));
  platform::MutexLock lock(mutex_);
  ended_ = true;
  history_.push_back({"end", std::to_string(result)});
  changed_.NotifyAll();
}

}  // namespace kestrune::ui::host
