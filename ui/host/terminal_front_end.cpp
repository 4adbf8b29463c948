#include "ui/host/terminal_front_end.h"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "ui/host/terminal_canvas.h"
#include "ui/host/terminal_paint.h"

// The function forms only: the macro forms (clear, erase, move, ...) would clash with C++.
#define NCURSES_NOMACROS
#define NCURSES_WIDECHAR 1
#include <curses.h>

namespace kestrune::ui::host {
namespace {

/// The signals the terminal wizard answers, and the pipe their handler writes them to.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGWINCH};
std::atomic<int> gSignalPipe{-1};
struct sigaction gOldActions[std::size(kSignals)];

extern "C" void NoteSignal(int signal) {
  const int saved = errno;
  const int fd = gSignalPipe.load();
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signal);
    static_cast<void>(::write(fd, &byte, 1));
  }
  errno = saved;
}

/// How often a screen with a marquee or busy sign is drawn again.
constexpr int kAnimationMs = 100;
/// How long a lone Esc waits for the rest of an escape sequence.
constexpr int kEscapeDelayMs = 25;

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

bool CodesetIsUtf8() {
  const char* codeset = ::nl_langinfo(CODESET);
  return codeset != nullptr &&
         (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

/// True when the locale the person set names UTF-8, whether or not it is installed.
bool LocaleAsksForUtf8() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = Environment(name);
    if (value == nullptr) continue;
    std::string lower(value);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
  }
  return false;
}

void Wake(int fd) {
  if (fd < 0) return;
  const char byte = 1;
  static_cast<void>(::write(fd, &byte, 1));
}

void Discard(int fd) {
  char buffer[64];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
}

Key Translate(int kind, wint_t ch) {
  if (kind == KEY_CODE_YES) {
    switch (ch) {
      case KEY_UP:
        return {KeyCode::kUp};
      case KEY_DOWN:
        return {KeyCode::kDown};
      case KEY_LEFT:
        return {KeyCode::kLeft};
      case KEY_RIGHT:
        return {KeyCode::kRight};
      case KEY_BTAB:
        return {KeyCode::kBackTab};
      case KEY_HOME:
        return {KeyCode::kHome};
      case KEY_END:
        return {KeyCode::kEnd};
      case KEY_PPAGE:
        return {KeyCode::kPageUp};
      case KEY_NPAGE:
        return {KeyCode::kPageDown};
      case KEY_ENTER:
        return {KeyCode::kEnter};
      default:
        return {};
    }
  }
  switch (ch) {
    case L'\t':
      return {KeyCode::kTab};
    case L'\r':
    case L'\n':
      return {KeyCode::kEnter};
    case 27:
      return {KeyCode::kEscape};
    case 3:
      return {KeyCode::kInterrupt};
    default:
      if (ch >= 0x20 && ch != 0x7f) return {KeyCode::kCharacter, static_cast<wchar_t>(ch)};
      return {};
  }
}

enum ColorPair : short { kPairGood = 1, kPairBusy, kPairWarning };

}  // namespace

std::optional<FrontEndKind> ChooseFrontEnd(const char* setting, bool terminalAttached,
                                           std::string& why) {
  const std::string value = setting == nullptr ? "" : setting;
  if (value == "script") return FrontEndKind::kScript;
  if (value == "terminal" || value.empty()) {
    if (terminalAttached) return FrontEndKind::kTerminal;
    why =
        value.empty()
            ? "no terminal to show the wizard on; run it in a terminal, or set KESTRUNE_UI=script "
              "and give the script on standard input"
            : "KESTRUNE_UI=terminal, but this process has no terminal";
    return std::nullopt;
  }
  why = "KESTRUNE_UI=" + value + " names no front end (terminal or script)";
  return std::nullopt;
}

TerminalFrontEnd::TerminalFrontEnd(HostToolkit& toolkit, Language language) : toolkit_(toolkit) {
  view_.language = language;
}

TerminalFrontEnd::~TerminalFrontEnd() { Close(); }

bool TerminalFrontEnd::TerminalAttached() {
  return platform::host::UniqueFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)).valid();
}

std::string TerminalFrontEnd::Open() {
  if (screen_ != nullptr) return {};
  platform::host::UniqueFd fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) {
    return "cannot open the terminal (/dev/tty): " + std::string(std::strerror(errno));
  }
  tty_ = ::fdopen(fd.get(), "r+");
  if (tty_ == nullptr) return "cannot open the terminal (/dev/tty)";
  static_cast<void>(fd.release());  // the stream owns it now

  const char* before = std::setlocale(LC_CTYPE, nullptr);
  savedLocale_ = before == nullptr ? "C" : before;
  const bool localeSet = std::setlocale(LC_CTYPE, "") != nullptr;
  bool utf8 = localeSet && CodesetIsUtf8();
  if (!utf8 && LocaleAsksForUtf8() && std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
    utf8 = CodesetIsUtf8();
  }
  const char* term = Environment("TERM");
  const bool plainTerminal =
      term != nullptr && (std::strncmp(term, "linux", 5) == 0 || std::strncmp(term, "vt", 2) == 0);
  view_.glyphs = utf8 && !plainTerminal && Environment("KESTRUNE_UI_ASCII") == nullptr
                     ? Glyphs::Unicode()
                     : Glyphs::Ascii();

  // Ours before ncurses looks: it then leaves these signals alone.
  wakePipe_ = platform::host::MakePipe(O_NONBLOCK);
  signalPipe_ = platform::host::MakePipe(O_NONBLOCK);
  gSignalPipe = signalPipe_.write.get();
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(kSignals[i], &action, &gOldActions[i]);
  }
  signalsInstalled_ = true;

  screen_ = term == nullptr ? nullptr : ::newterm(term, tty_, tty_);
  if (screen_ == nullptr) {
    std::setlocale(LC_CTYPE, savedLocale_.c_str());
    Close();
    return term == nullptr ? "TERM is not set: the terminal's type is unknown"
                           : "cannot use the terminal of type " + std::string(term);
  }
  ::set_term(screen_);
  ::raw();  // Ctrl-C and Ctrl-Z arrive as keys, not as signals to the whole job
  ::noecho();
  ::nonl();
  ::keypad(stdscr, TRUE);
  ::nodelay(stdscr, TRUE);
  ::set_escdelay(kEscapeDelayMs);
  ::curs_set(0);
  if (::has_colors()) {
    colors_ = true;
    ::start_color();
    ::use_default_colors();
    ::init_pair(kPairGood, COLOR_GREEN, -1);
    ::init_pair(kPairBusy, COLOR_CYAN, -1);
    ::init_pair(kPairWarning, COLOR_YELLOW, -1);
  }

  // What goes to standard error on this terminal would tear the screen: hold it back.
  if (::isatty(STDERR_FILENO)) {
    platform::host::Pipe capture = platform::host::MakePipe();
    if (capture.read.valid()) {
      savedStderr_.reset(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
      if (savedStderr_.valid() && ::dup2(capture.write.get(), STDERR_FILENO) >= 0) {
        ::fcntl(capture.read.get(), F_SETFL, O_NONBLOCK);
        platform::MutexLock lock(captureMutex_);
        capturePipe_ = std::move(capture.read);
      } else {
        savedStderr_.reset();
      }
    }
  }

  watcher_ = std::thread([this] { WatchLoop(); });
  Paint();
  return {};
}

void TerminalFrontEnd::EndScreen() {
  if (screen_ == nullptr) return;
  if (!ttyGone_) {
    ::curs_set(1);
    ::endwin();
  }
  ::delscreen(screen_);
  screen_ = nullptr;
  watchTty_ = false;
  Wake(wakePipe_.write.get());
  std::setlocale(LC_CTYPE, savedLocale_.c_str());
  if (savedStderr_.valid()) {
    ::dup2(savedStderr_.get(), STDERR_FILENO);
    savedStderr_.reset();
    ReadCapturedStderr();
    platform::MutexLock lock(captureMutex_);
    if (!captured_.empty()) {
      static_cast<void>(::write(STDERR_FILENO, captured_.data(), captured_.size()));
    }
    captured_ = std::string();
  }
}

void TerminalFrontEnd::Close() {
  EndScreen();
  stopping_ = true;
  Wake(wakePipe_.write.get());
  if (watcher_.joinable()) watcher_.join();
  if (signalsInstalled_) {
    for (size_t i = 0; i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &gOldActions[i], nullptr);
    gSignalPipe = -1;
    signalsInstalled_ = false;
  }
  wakePipe_ = {};
  signalPipe_ = {};
  {
    platform::MutexLock lock(captureMutex_);
    capturePipe_.reset();
  }
  if (tty_ != nullptr) std::fclose(tty_);
  tty_ = nullptr;
}

bool TerminalFrontEnd::Idle() const { return keys_.empty() && !readPending_ && !handlingPosted_; }

void TerminalFrontEnd::ReadCapturedStderr() {
  platform::MutexLock lock(captureMutex_);
  if (!capturePipe_.valid()) return;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(capturePipe_.get(), buffer, sizeof buffer);
    if (got > 0) {
      captured_.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      // Standard error is the terminal again: nothing more comes this way.
      capturePipe_.reset();
      return;
    } else {
      return;
    }
  }
}

// --- The watching thread: wakes the UI thread for keys, signals and animation ---

void TerminalFrontEnd::WatchLoop() {
  const int ttyFd = ::fileno(tty_);
  bool ttyOpen = true;
  while (!stopping_) {
    pollfd fds[4];
    nfds_t count = 0;
    fds[count++] = {wakePipe_.read.get(), POLLIN, 0};
    fds[count++] = {signalPipe_.read.get(), POLLIN, 0};
    int capturing = -1;
    {
      platform::MutexLock lock(captureMutex_);
      capturing = capturePipe_.get();
    }
    const nfds_t capture = capturing >= 0 ? count++ : 0;
    if (capturing >= 0) fds[capture] = {capturing, POLLIN, 0};
    nfds_t ttySlot = 0;
    if (ttyOpen && watchTty_ && !readPending_) {
      ttySlot = count++;
      fds[ttySlot] = {ttyFd, POLLIN, 0};
    }
    const int ready = ::poll(fds, count, animating_ ? kAnimationMs : -1);
    if (stopping_) break;
    if (ready < 0) continue;
    if (ready == 0) {
      if (animating_ && !tickPending_.exchange(true)) {
        toolkit_.loop().PostInput([this] {
          tickPending_ = false;
          Paint();
        });
      }
      continue;
    }
    if (fds[0].revents != 0) Discard(wakePipe_.read.get());
    if (fds[1].revents & POLLIN) {
      unsigned char signals[16];
      const ssize_t got = ::read(signalPipe_.read.get(), signals, sizeof signals);
      for (ssize_t i = 0; i < got; ++i) {
        const int signal = signals[i];
        toolkit_.loop().PostInput([this, signal] { HandleSignal(signal); });
      }
    }
    if (capture != 0 && fds[capture].revents != 0) ReadCapturedStderr();
    if (ttySlot != 0 && fds[ttySlot].revents != 0 && watchTty_) {
      if (fds[ttySlot].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // The terminal went away (its window closed): as a hang-up.
        ttyOpen = false;
        toolkit_.loop().PostInput([this] { HandleSignal(SIGHUP); });
      } else {
        readPending_ = true;
        toolkit_.loop().PostInput([this] { ReadKeys(); });
      }
    }
  }
}

// --- The UI thread ---

void TerminalFrontEnd::ReadKeys() {
  if (screen_ != nullptr) {
    wint_t ch = 0;
    int kind = 0;
    while ((kind = ::wget_wch(stdscr, &ch)) != ERR) {
      if (kind == KEY_CODE_YES && ch == KEY_RESIZE) {
        Resize();
        continue;
      }
      const Key key = Translate(kind, ch);
      if (key.code != KeyCode::kNone) keys_.push_back(key);
    }
  }
  readPending_ = false;
  Wake(wakePipe_.write.get());
  HandleKeys();
}

void TerminalFrontEnd::HandleKeys() {
  handlingPosted_ = false;
  if (screen_ == nullptr) {
    keys_.clear();
    return;
  }
  if (keys_.empty()) return;
  // One key at a time, and the next only after what this one posted (a new page filling its
  // controls): keys typed ahead land where they would after a pause. A key may also raise a
  // question whose nested loop handles the keys typed after it.
  const Key key = keys_.front();
  keys_.pop_front();
  HandleKey(toolkit_, view_, key);
  Paint();
  if (!keys_.empty() && !handlingPosted_ && screen_ != nullptr) {
    handlingPosted_ = true;
    toolkit_.loop().PostInput([this] { HandleKeys(); });
  }
}

void TerminalFrontEnd::HandleSignal(int signal) {
  switch (signal) {
    case SIGWINCH:
      Resize();
      break;
    case SIGINT:
      view_.dropDown = false;
      static_cast<void>(toolkit_.RequestClose());
      break;
    case SIGHUP:
      ttyGone_ = true;
      [[fallthrough]];
    case SIGTERM:
      if (toolkit_.SheetWindow() != nullptr || !toolkit_.OpenBoxes().empty()) {
        toolkit_.EndSession(0);
      }
      break;
    default:
      break;
  }
}

void TerminalFrontEnd::Resize() {
  if (screen_ == nullptr || ttyGone_) return;
  winsize size{};
  if (::ioctl(::fileno(tty_), TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
    ::resize_term(size.ws_row, size.ws_col);
  }
  ::clearok(stdscr, TRUE);
  Paint();
}

void TerminalFrontEnd::Paint() {
  if (screen_ == nullptr || ttyGone_) return;
  int rows = 0;
  int columns = 0;
  getmaxyx(stdscr, rows, columns);
  Canvas canvas(rows, columns);
  view_.now = std::chrono::steady_clock::now();
  SyncView(toolkit_, view_);
  PaintScreen(toolkit_, view_, canvas);
  animating_ = view_.animating;
  if (view_.animating) Wake(wakePipe_.write.get());

  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const Cell& cell = canvas.At(row, column);
      if (cell.continued) continue;
      attr_t attributes = A_NORMAL;
      short pair = 0;
      switch (cell.style.tone) {
        case Tone::kDim:
          attributes |= A_DIM;
          break;
        case Tone::kTitle:
          attributes |= A_BOLD;
          break;
        case Tone::kGood:
          pair = kPairGood;
          break;
        case Tone::kBusy:
          pair = kPairBusy;
          break;
        case Tone::kWarning:
          pair = kPairWarning;
          attributes |= A_BOLD;
          break;
        default:
          break;
      }
      if (!colors_) pair = 0;
      if (cell.style.reverse) attributes |= A_REVERSE;
      if (cell.style.bold) attributes |= A_BOLD;
      const wchar_t text[2] = {cell.ch, L'\0'};
      cchar_t shown;
      ::setcchar(&shown, text, attributes, pair, nullptr);
      ::mvwadd_wch(stdscr, row, column, &shown);  // the last cell of the screen answers ERR
    }
  }
  ::wnoutrefresh(stdscr);
  ::doupdate();
}

void TerminalFrontEnd::OnIdle() {
  if (!keys_.empty() && !handlingPosted_) {
    handlingPosted_ = true;
    toolkit_.loop().PostInput([this] { HandleKeys(); });
  }
  Paint();
}

void TerminalFrontEnd::OnMessageBoxOpened(const MessageBoxState& box) {
  view_.boxFocus[&box] = box.DefaultButton();
  OnIdle();
}

void TerminalFrontEnd::OnMessageBoxClosed(const MessageBoxState& box) {
  view_.boxFocus.erase(&box);
  Paint();
}

void TerminalFrontEnd::OnSheetEnded(intptr_t) { EndScreen(); }

}  // namespace kestrune::ui::host
