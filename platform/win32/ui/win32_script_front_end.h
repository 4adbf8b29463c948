#pragma once

#include "platform/win32/windows_support.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/ui/win32_toolkit.h"
#include "platform/win32/ui/win32_transcript.h"

namespace kestrune::platform::win32 {

/// The scripted front end of the Windows wizard (KESTRUNE_UI=script): the commands of the
/// Linux scripted front end, acting on the real controls through their messages, and the same
/// transcript lines. Commands:
///
///   next | back | cancel | close
///   select L | select #N          the Drive page entry of drive letter L, or entry N (from 1)
///   disc-type dvd|usb             dvd clicks the DVD-R DL button; usb checks that the chosen
///                                 drive is a USB drive
///   tick N | untick N             row N (from 1) of the Drive page's disc list
///   compare on|off                the comparison option
///   answer yes|no|ok|cancel|default   the message box that is open, or the next one
///   wait page NAME [BUTTONS] | wait box ID | wait status REGEX | wait drives REGEX | wait end
///   dump                          the texts of the page that shows
///   snapshot NAME                 (Windows only) a picture of the wizard's windows as
///                                 NAME.bmp in the snapshot folder; writes no transcript line
///
/// `machine` has no machine to act on here and is a script error. A command that does not fit
/// the screen is tried again while the screen changes; one that still does not fit, or a wait
/// that does not come true, within the timeout writes "script-error LINE: REASON", ends the
/// session as a logoff does and makes Failed() true. At the end of the script the front end
/// waits for the wizard to end.
class ScriptFrontEnd : public ScreenObserver {
 public:
  struct Options {
    std::chrono::milliseconds timeout{std::chrono::seconds(120)};
    /// Where `snapshot` writes its pictures; empty: snapshots are skipped.
    std::wstring snapshotFolder;
  };

  ScriptFrontEnd(Win32Toolkit& toolkit, Transcript& transcript, Options options);
  ~ScriptFrontEnd() override;
  ScriptFrontEnd(const ScriptFrontEnd&) = delete;
  ScriptFrontEnd& operator=(const ScriptFrontEnd&) = delete;

  /// Starts reading commands from `script` (standard input in the program).
  void Start(HANDLE script);
  /// Stops (the program is ending) and joins the script thread.
  void Stop();
  bool Failed() const { return failed_; }

  // ScreenObserver (UI thread)
  void OnIdle() override;
  void OnMessageBoxOpened(MessageBoxRecord& box) override;
  void OnMessageBoxClosed(const MessageBoxRecord& box) override;
  void OnSheetEnded(intptr_t result) override;

 private:
  struct Event {
    std::string kind;  ///< "page", "box", "status", "drives", "row", "end"
    std::string value;
  };
  struct PendingAnswer {
    std::string button;
    int line = 0;
  };
  /// The lines the reader thread has read; shared with it, as it may outlive the front end
  /// while a read blocks.
  struct Lines;
  using UiCommand = std::function<std::string(const Win32Toolkit::Accepted&)>;

  void RunScript();
  std::string Execute(int line, const std::vector<std::string>& words);
  std::string RunOnUi(const UiCommand& command, bool retry = true);
  std::string Answer(int line, const std::string& button);
  std::string Wait(const std::vector<std::string>& words);
  std::string Dump();
  std::string Snapshot(const std::string& name);
  void Fail(int line, const std::string& reason);

  void Scrape();
  void Emit(const std::string& kind, const std::string& value, const std::string& line);

  Win32Toolkit& toolkit_;
  Transcript& transcript_;
  Options options_;
  std::shared_ptr<Lines> lines_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};

  // Screen as last written (UI thread only).
  std::string lastPage_;
  std::string lastDrives_;
  std::vector<std::string> lastRows_;
  std::string lastStatus_ = StatusLine(L"");

  // Shared with the script thread.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> history_;
  std::string currentPage_;
  std::string currentStatus_;
  std::string currentDrives_;
  std::vector<uint32_t> openBoxes_;
  bool ended_ = false;
  std::deque<PendingAnswer> pendingAnswers_;
};

}  // namespace kestrune::platform::win32
