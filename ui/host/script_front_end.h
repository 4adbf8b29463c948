#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "ui/host/host_toolkit.h"
#include "ui/host/transcript.h"

namespace kestrune::ui::host {

/// The scripted front end: reads commands, one a line, acts on the wizard as a person would,
/// and writes the transcript (transcript.h). Commands:
///
///   next | back | cancel | close
///   select L | select #N          the Drive page entry of drive letter L, or entry N (from 1)
///   disc-type dvd|usb             dvd clicks the DVD-R DL button; usb checks that the chosen
///                                 drive is a USB drive (it has no button of its own)
///   tick N | untick N             row N (from 1) of the Drive page's disc list
///   compare on|off                the comparison option
///   answer yes|no|ok|cancel|default   the message box that is open, or the next one
///   wait page NAME [BUTTONS]      the page shows (with the buttons Back,Next|Back|Next|none)
///   wait box ID | wait status REGEX | wait drives REGEX | wait end
///   machine ARGS...               kestrune-machine ARGS on the same machine
///   dump                          the texts of the page that shows (text and item lines)
///
/// Blank lines and lines starting with '#' are skipped. A command that does not fit the
/// screen is tried again while the screen changes, as a person waits for a button to come
/// alive; a command that still does not fit, or a wait that does not come true, within the
/// timeout writes "script-error LINE: REASON", ends the session (autoplay restored, worker
/// stopped) and makes Failed() true. At the end of the script the front end waits for the
/// wizard to end.
class ScriptFrontEnd : public ScreenObserver {
 public:
  struct Options {
    std::chrono::milliseconds timeout{std::chrono::seconds(120)};
    /// Runs kestrune-machine with the arguments; its exit code (-1 when it cannot start).
    std::function<int(const std::vector<std::string>&)> runMachineTool;
    /// Looks at the machine at once and posts the device changes it finds.
    std::function<void()> pollDevices;
  };

  ScriptFrontEnd(HostToolkit& toolkit, Transcript& transcript, Options options);
  ~ScriptFrontEnd() override;
  ScriptFrontEnd(const ScriptFrontEnd&) = delete;
  ScriptFrontEnd& operator=(const ScriptFrontEnd&) = delete;

  /// Starts reading commands from the file descriptor `script` (standard input in the
  /// program) on a thread of its own. The descriptor stays open.
  void Start(int script);
  /// Stops reading (the program is ending) and joins the thread.
  void Stop();
  /// True after a script error.
  bool Failed() const { return failed_; }
  /// True while the script waits for the screen (nothing of its own is pending): the loop's
  /// clock may then jump to the next timer.
  bool Waiting() const { return waiting_ > 0 && pendingInputs_ == 0; }

  // ScreenObserver (UI thread)
  void OnIdle() override;
  void OnMessageBoxOpened(const MessageBoxState& box) override;
  void OnMessageBoxClosed(const MessageBoxState& box) override;
  void OnSheetEnded(intptr_t result) override;

 private:
  /// What the transcript has shown, for the waits.
  struct Event {
    std::string kind;  ///< "page", "box", "status", "drives", "end"
    std::string value;
  };
  /// What the screen shows now, for the waits.
  struct Screen {
    std::string page;  ///< the page line without "page "
    std::string status;
    std::string drives;
    std::vector<uint32_t> boxes;
    bool ended = false;
  };
  struct PendingAnswer {
    std::string button;  ///< as the script wrote it
    int line = 0;
  };
  using UiCommand = std::function<std::string(const HostToolkit::Accepted&)>;

  void RunScript(int script);
  /// The next line of the script; false at its end or when stopping.
  bool ReadLine(int script, std::string& buffer, std::string& line);
  /// Runs one line; an empty text when it went well, else the reason of the script error.
  std::string Execute(int line, const std::vector<std::string>& words);
  /// Runs `command` on the UI thread, again and again while it does not fit the screen,
  /// until it fits or the deadline passes.
  std::string RunOnUi(const UiCommand& command, bool retry = true);
  std::string Answer(int line, const std::string& button);
  std::string Wait(const std::vector<std::string>& words);
  std::string RunMachine(const std::vector<std::string>& words);
  std::string Dump();
  void Fail(int line, const std::string& reason);

  /// Writes what changed on the screen since the last look (UI thread).
  void Scrape();
  void Emit(const std::string& kind, const std::string& value, const std::string& line);

  HostToolkit& toolkit_;
  Transcript& transcript_;
  Options options_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::atomic<int> waiting_{0};
  std::atomic<int> pendingInputs_{0};
  int stopPipe_[2] = {-1, -1};

  // Screen as last written (UI thread only).
  std::string lastPage_;
  std::string lastDrives_;
  std::vector<std::string> lastRows_;
  std::string lastStatus_ = StatusLine(L"");

  // Shared with the script thread.
  mutable platform::Mutex mutex_;
  platform::ConditionVariable changed_;
  std::vector<Event> history_ KESTRUNE_GUARDED_BY(mutex_);
  std::string currentPage_ KESTRUNE_GUARDED_BY(mutex_);
  std::string currentStatus_ KESTRUNE_GUARDED_BY(mutex_);
  std::string currentDrives_ KESTRUNE_GUARDED_BY(mutex_);
  std::vector<uint32_t> openBoxes_ KESTRUNE_GUARDED_BY(mutex_);
  bool ended_ KESTRUNE_GUARDED_BY(mutex_) = false;
  std::deque<PendingAnswer> pendingAnswers_ KESTRUNE_GUARDED_BY(mutex_);
};

}  // namespace kestrune::ui::host
