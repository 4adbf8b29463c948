#include "ui/script/script_engine.h"

#include <algorithm>
#include <cwctype>
#include <regex>
#include <sstream>

#include "text/utf8.h"

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;

/// How long a command that does not fit waits for the screen to change before trying again.
constexpr std::chrono::milliseconds kRetryPause(20);

constexpr uint32_t kDriveCombo = 1201;
constexpr uint32_t kDiscList = 1202;
constexpr uint32_t kDvdRadio = 1252;
constexpr uint32_t kCompareCheck = 1601;

/// An entry key with a bit here is a USB drive's.
constexpr uint32_t kUsbEntryBits = 0xff00;

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

std::string Usage(const char* form) { return std::string("usage: ") + form; }

struct Ack {
  bool done = false;
  std::string error;
};

}  // namespace

// --- ScriptLines ---

void ScriptLines::Append(const char* data, size_t size) {
  platform::MutexLock lock(mutex_);
  partial_.append(data, size);
  for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
    std::string line = partial_.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(std::move(line));
    partial_.erase(0, end + 1);
  }
  changed_.NotifyAll();
}

void ScriptLines::Finish() {
  platform::MutexLock lock(mutex_);
  if (!partial_.empty()) lines_.push_back(std::move(partial_));
  partial_.clear();
  finished_ = true;
  changed_.NotifyAll();
}

bool ScriptLines::Next(std::string& line) {
  platform::MutexLock lock(mutex_);
  while (!interrupted_ && lines_.empty() && !finished_) changed_.Wait(lock);
  if (interrupted_ || lines_.empty()) return false;
  line = std::move(lines_.front());
  lines_.pop_front();
  return true;
}

void ScriptLines::Interrupt() {
  platform::MutexLock lock(mutex_);
  interrupted_ = true;
  changed_.NotifyAll();
}

// --- ScriptEngine ---

ScriptEngine::ScriptEngine(ScriptedScreen& screen, Transcript& transcript, Options options)
    : screen_(screen),
      transcript_(transcript),
      options_(std::move(options)),
      lines_(std::make_shared<ScriptLines>()) {}

ScriptEngine::~ScriptEngine() { Stop(); }

void ScriptEngine::Start() {
  thread_ = std::thread([this] { RunScript(); });
}

void ScriptEngine::Stop() {
  {
    // Under the mutex, so that no wait misses it between its check and its sleep.
    platform::MutexLock lock(mutex_);
    stopping_ = true;
    changed_.NotifyAll();
  }
  lines_->Interrupt();
  if (thread_.joinable()) thread_.join();
}

// --- The script (script thread) ---

void ScriptEngine::RunScript() {
  std::string line;
  int number = 0;
  while (lines_->Next(line)) {
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

std::string ScriptEngine::Execute(int line, const std::vector<std::string>& words) {
  using Accepted = ScriptedScreen::Accepted;
  const std::string& verb = words[0];
  const size_t args = words.size() - 1;
  if (verb == "next" && args == 0) {
    return RunOnUi([this](const Accepted& accepted) { return screen_.PressNext(accepted); });
  }
  if (verb == "back" && args == 0) {
    return RunOnUi([this](const Accepted& accepted) { return screen_.PressBack(accepted); });
  }
  if (verb == "cancel" && args == 0) {
    return RunOnUi([this](const Accepted& accepted) { return screen_.PressCancel(accepted); });
  }
  if (verb == "close" && args == 0) {
    return RunOnUi([this](const Accepted& accepted) { return screen_.RequestClose(accepted); });
  }
  if (verb == "select") {
    if (args != 1 || words[1].empty()) return Usage("select L | select #N");
    return Select(words[1]);
  }
  if (verb == "disc-type") {
    if (args != 1 || (words[1] != "dvd" && words[1] != "usb")) return Usage("disc-type dvd|usb");
    if (words[1] == "usb") return ChooseUsb();
    return RunOnUi([this](const Accepted& accepted) {
      return screen_.ClickButton(kDvdRadio, true, accepted);
    });
  }
  if (verb == "tick" || verb == "untick") {
    int row = 0;
    if (args != 1 || !ParseNumber(words[1], row) || row < 1) return Usage("tick N | untick N");
    const bool tick = verb == "tick";
    return RunOnUi([this, row, tick](const Accepted& accepted) {
      return screen_.ClickListCheck(kDiscList, row - 1, tick, accepted);
    });
  }
  if (verb == "compare") {
    if (args != 1 || (words[1] != "on" && words[1] != "off")) return Usage("compare on|off");
    const bool on = words[1] == "on";
    return RunOnUi([this, on](const Accepted& accepted) {
      return screen_.ClickButton(kCompareCheck, on, accepted);
    });
  }
  if (verb == "answer") {
    if (args != 1 || (ButtonFromName(words[1]) == 0 && words[1] != "default")) {
      return Usage("answer yes|no|ok|cancel|default");
    }
    return Answer(line, words[1]);
  }
  if (verb == "wait") return Wait(words);
  if (verb == "machine") return RunMachine(words);
  if (verb == "dump" && args == 0) return Dump();
  if (verb == "snapshot") {
    if (args != 1) return Usage("snapshot NAME");
    const std::string& name = words[1];
    if (name.find_first_of("/\\:") != std::string::npos) return "bad snapshot name " + name;
    return RunOnUi(
        [this, name](const Accepted& accepted) {
          if (accepted) accepted();
          return screen_.Snapshot(name);
        },
        false);
  }
  return "unknown command \"" + verb + "\"";
}

std::string ScriptEngine::Select(const std::string& target) {
  return RunOnUi([this, target](const ScriptedScreen::Accepted& accepted) -> std::string {
    const std::optional<ScriptedScreen::DriveList> list = screen_.ActiveDriveList();
    if (!list) return "the drive list is not showing";
    int index = -1;
    if (target[0] == '#') {
      if (!ParseNumber(target.substr(1), index) || index < 1) return "bad entry number";
      --index;
    } else {
      const auto letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(target[0])));
      for (size_t i = 0; i < list->entries.size(); ++i) {
        const std::wstring& text = list->entries[i].text;
        if (target.size() == 1 && text.size() > 2 && text[0] == L'(' && text[2] == letter) {
          index = static_cast<int>(i);
        }
      }
      if (index < 0) return "no drive " + target + " in the drive list";
    }
    return screen_.SelectComboItem(kDriveCombo, index, accepted);
  });
}

std::string ScriptEngine::ChooseUsb() {
  return RunOnUi([this](const ScriptedScreen::Accepted& accepted) -> std::string {
    const std::optional<ScriptedScreen::DriveList> list = screen_.ActiveDriveList();
    if (!list || list->selection < 0 ||
        static_cast<size_t>(list->selection) >= list->entries.size()) {
      return "no drive is chosen";
    }
    if ((list->entries[static_cast<size_t>(list->selection)].data & kUsbEntryBits) == 0) {
      return "the chosen drive is not a USB drive";
    }
    if (accepted) accepted();
    return {};
  });
}

std::string ScriptEngine::RunOnUi(const UiCommand& command, bool retry) {
  const auto deadline = Clock::now() + options_.timeout;
  std::string lastError = "the wizard does not answer";
  for (;;) {
    {
      platform::MutexLock lock(mutex_);
      if (ended_) return "the wizard has ended";
    }
    auto ack = std::make_shared<Ack>();
    ++pendingInputs_;
    screen_.Post([this, ack, command] {
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

std::string ScriptEngine::Answer(int line, const std::string& button) {
  return RunOnUi(
      [this, line, button](const ScriptedScreen::Accepted& accepted) -> std::string {
        const std::optional<int> defaultButton = screen_.OpenBoxDefault();
        if (!defaultButton) {
          // The box is still to come: answered as it opens.
          {
            platform::MutexLock lock(mutex_);
            pendingAnswers_.push_back({button, line});
          }
          if (accepted) accepted();
          return {};
        }
        return screen_.AnswerBox(button == "default" ? *defaultButton : ButtonFromName(button),
                                 accepted);
      },
      false);
}

std::string ScriptEngine::Wait(const std::vector<std::string>& words) {
  const char* usage = "wait page NAME [BUTTONS] | box ID | status REGEX | drives REGEX | end";
  if (words.size() < 2) return Usage(usage);
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
    const std::string& page = words[2];
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
    if (!ParseNumber(words[2], id)) return Usage("wait box ID");
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
    const std::string& kind = what;
    now = [kind, pattern](const Screen& screen) {
      return std::regex_search(kind == "status" ? screen.status : screen.drives, pattern);
    };
    matches = [kind, pattern](const Event& e) {
      return e.kind == kind && std::regex_search(e.value, pattern);
    };
    described = what + " matching " + words[2];
  } else {
    return Usage(usage);
  }

  const auto deadline = Clock::now() + options_.timeout;
  platform::MutexLock lock(mutex_);
  size_t checked = history_.size();
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

std::string ScriptEngine::RunMachine(const std::vector<std::string>& words) {
  if (words.size() < 2) return Usage("machine ARGS...");
  if (!options_.runMachineTool) return "no machine to change";
  const std::vector<std::string> arguments(words.begin() + 1, words.end());
  const int code = options_.runMachineTool(arguments);
  if (code != 0) {
    return "kestrune-machine " + words[1] + " failed (exit " + std::to_string(code) + ")";
  }
  if (options_.pollDevices) options_.pollDevices();
  return {};
}

std::string ScriptEngine::Dump() {
  return RunOnUi([this](const ScriptedScreen::Accepted& accepted) -> std::string {
    std::vector<std::string> lines;
    if (!screen_.DumpPage(lines)) return "no page is showing";
    if (accepted) accepted();
    for (const std::string& line : lines) transcript_.Write(line);
    return {};
  });
}

void ScriptEngine::Fail(int line, const std::string& reason) {
  if (failed_.exchange(true)) return;
  transcript_.Write("script-error " + std::to_string(line) + ": " + reason);
  screen_.Post([this] { screen_.EndSession(); });
}

// --- The screen (UI thread) ---

void ScriptEngine::Emit(const std::string& kind, const std::string& value,
                        const std::string& line) {
  transcript_.Write(line);
  platform::MutexLock lock(mutex_);
  history_.push_back({kind, value});
  if (kind == "page") currentPage_ = value;
  if (kind == "status") currentStatus_ = value;
  if (kind == "drives") currentDrives_ = value;
  changed_.NotifyAll();
}

void ScriptEngine::OnIdle() { Scrape(); }

void ScriptEngine::Scrape() {
  const ScriptedScreen::Look look = screen_.LookAtScreen();
  if (look.pageLine && *look.pageLine != lastPage_) {
    lastPage_ = *look.pageLine;
    Emit("page", lastPage_.substr(5), lastPage_);
  }
  if (look.drives) {
    const std::string line = DrivesLine(*look.drives);
    if (line != lastDrives_) {
      lastDrives_ = line;
      Emit("drives", line.substr(7), line);
    }
  }
  if (look.rows) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < look.rows->size(); ++i) {
      const auto& [task, status] = (*look.rows)[i];
      lines.push_back(RowLine(static_cast<int>(i) + 1, task, status));
      if (i >= lastRows_.size() || lastRows_[i] != lines.back()) {
        Emit("row", lines.back(), lines.back());
      }
    }
    lastRows_ = lines;
  }
  if (look.status) {
    const std::string line = StatusLine(*look.status);
    if (line != lastStatus_) {
      lastStatus_ = line;
      Emit("status", text::Utf8FromWide(*look.status), line);
    }
  }
}

void ScriptEngine::OnBoxOpened(uint32_t id, const std::string& line, int defaultButton) {
  Scrape();
  {
    platform::MutexLock lock(mutex_);
    openBoxes_.push_back(id);
  }
  Emit("box", std::to_string(id), line);
  PendingAnswer pending;
  {
    platform::MutexLock lock(mutex_);
    if (pendingAnswers_.empty()) return;
    pending = pendingAnswers_.front();
    pendingAnswers_.pop_front();
  }
  const int button = pending.button == "default" ? defaultButton : ButtonFromName(pending.button);
  const std::string error = screen_.AnswerBox(button, {});
  if (!error.empty()) Fail(pending.line, error);
}

void ScriptEngine::OnBoxClosed(uint32_t id, std::optional<int> answer) {
  {
    platform::MutexLock lock(mutex_);
    const auto it = std::find(openBoxes_.rbegin(), openBoxes_.rend(), id);
    if (it != openBoxes_.rend()) openBoxes_.erase(std::next(it).base());
  }
  if (answer) transcript_.Write("answer " + ButtonName(*answer));
}

void ScriptEngine::OnSheetEnded(intptr_t result) {
  transcript_.Write("end " + std::to_string(result));
  platform::MutexLock lock(mutex_);
  ended_ = true;
  history_.push_back({"end", std::to_string(result)});
  changed_.NotifyAll();
}

}  // namespace kestrune
