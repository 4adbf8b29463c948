#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <thread>

#include "platform/host/unique_fd.h"
#include "platform/mutex.h"
#include "ui/host/host_toolkit.h"
#include "ui/host/terminal_keys.h"
#include "ui/host/terminal_view.h"

struct screen;  // ncurses' SCREEN

namespace kestrune::ui::host {

/// The front ends KESTRUNE_UI can name.
enum class FrontEndKind { kTerminal, kScript };

/// The front end for the setting of KESTRUNE_UI (null or empty when unset): unset means the
/// terminal when one is attached. Nothing, with the reason in `why`, when none can run.
[[nodiscard]] std::optional<FrontEndKind> ChooseFrontEnd(const char* setting, bool terminalAttached,
                                                         std::string& why);

/// The terminal wizard: draws the sheet, its pages, dialogs and message boxes with ncursesw on
/// the process's terminal (/dev/tty, never standard output, which carries the result line)
/// and turns the person's keys into the toolkit's input (terminal_keys.h).
///
/// Ctrl-C, and SIGINT, are the sheet's close request; SIGTERM and SIGHUP end the session as
/// a shutdown would (autoplay restored, the worker stopped, the result line still printed).
/// While the screen is up, what the program writes to standard error on the same terminal is
/// held back and written out when the terminal is given back. Texts are shown in Unicode
/// when the locale's character set is UTF-8 (C.UTF-8 stands in for a UTF-8 locale that is
/// not installed), in ASCII otherwise, or when KESTRUNE_UI_ASCII is set.
///
/// The ScreenObserver calls come on the UI thread; keys are read there too, a thread of its
/// own only watches the terminal and the signals and wakes the UI thread.
class TerminalFrontEnd : public ScreenObserver {
 public:
  TerminalFrontEnd(HostToolkit& toolkit, Language language);
  ~TerminalFrontEnd() override;
  TerminalFrontEnd(const TerminalFrontEnd&) = delete;
  TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

  /// True when the process has a controlling terminal to draw on.
  static bool TerminalAttached();

  /// Takes over the terminal (UI thread). An empty text when it did; otherwise why not, and
  /// nothing has changed.
  [[nodiscard]] std::string Open();
  /// Gives the terminal back as it was, writes out the held-back standard error, stops
  /// watching signals. Idempotent; the sheet's end already gives the screen back.
  void Close();

  /// True when no key waits to be handled: the UI clock may jump ahead (UI thread).
  bool Idle() const;

  // ScreenObserver
  void OnIdle() override;
  void OnMessageBoxOpened(const MessageBoxState& box) override;
  void OnMessageBoxClosed(const MessageBoxState& box) override;
  void OnSheetEnded(intptr_t result) override;

 private:
  void WatchLoop();
  void ReadKeys();
  void HandleKeys();
  void HandleSignal(int signal);
  void Resize();
  void Paint();
  /// Ends the ncurses screen and restores standard error (UI thread).
  void EndScreen();
  void ReadCapturedStderr();

  HostToolkit& toolkit_;
  TerminalView view_;

  std::FILE* tty_ = nullptr;
  ::screen* screen_ = nullptr;
  bool colors_ = false;
  bool ttyGone_ = false;
  std::string savedLocale_;

  std::deque<Key> keys_;
  bool handlingPosted_ = false;

  std::thread watcher_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> readPending_{false};
  std::atomic<bool> tickPending_{false};
  std::atomic<bool> animating_{false};
  std::atomic<bool> watchTty_{true};
  bool signalsInstalled_ = false;
  platform::host::Pipe wakePipe_;
  platform::host::Pipe signalPipe_;

  platform::host::UniqueFd savedStderr_;
  platform::Mutex captureMutex_;
  /// Read end of what standard error receives meanwhile.
  platform::host::UniqueFd capturePipe_ KESTRUNE_GUARDED_BY(captureMutex_);
  std::string captured_ KESTRUNE_GUARDED_BY(captureMutex_);
};

}  // namespace kestrune::ui::host
