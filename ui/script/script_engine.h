#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/mutex.h"
#include "ui/script/transcript_lines.h"

namespace kestrune {

/// What the scripted front end needs of a window toolkit. Post may be called on any thread;
/// every other member runs on the UI thread, inside work that Post ran (or inside a call the
/// toolkit makes to the engine there).
class ScriptedScreen {
 public:
  /// Called by an input once it is sure to be carried out, before it acts: an input that opens
  /// a modal box would otherwise hold its acknowledgement back until the box closes.
  using Accepted = std::function<void()>;

  struct DriveList {
    struct Entry {
      std::wstring text;
      uint32_t data = 0;  ///< the entry's item data: its key
    };
    std::vector<Entry> entries;
    int selection = -1;
  };
  /// What the screen shows, as the transcript reports it; nullopt for what does not exist.
  struct Look {
    std::optional<std::string> pageLine;              ///< the sheet's page line (PageLine)
    std::optional<std::vector<std::wstring>> drives;  ///< the Drive page's drive list
    std::optional<std::vector<std::pair<std::wstring, std::wstring>>> rows;  ///< Write page rows
    std::optional<std::wstring> status;  ///< the Write page's status line
  };

  virtual ~ScriptedScreen() = default;

  /// Runs `work` on the UI thread as an input.
  virtual void Post(std::function<void()> work) = 0;

  // Inputs: each returns an empty text when it was carried out, else why it does not fit the
  // screen (the engine tries again while the screen changes).
  virtual std::string PressNext(const Accepted& accepted) = 0;
  virtual std::string PressBack(const Accepted& accepted) = 0;
  virtual std::string PressCancel(const Accepted& accepted) = 0;
  virtual std::string RequestClose(const Accepted& accepted) = 0;
  virtual std::string SelectComboItem(uint32_t id, int index, const Accepted& accepted) = 0;
  virtual std::string ClickButton(uint32_t id, bool checked, const Accepted& accepted) = 0;
  virtual std::string ClickListCheck(uint32_t id, int row, bool tick, const Accepted& accepted) = 0;
  /// Answers the newest unanswered message box with `button`.
  virtual std::string AnswerBox(int button, const Accepted& accepted) = 0;
  /// Ends the session as a logoff does: the sheet hears it, then the loop quits.
  virtual void EndSession() = 0;

  // Looks.
  /// The Drive page's drive list while that page is the active one.
  virtual std::optional<DriveList> ActiveDriveList() = 0;
  /// The default button of the newest unanswered message box; nullopt when none is open.
  virtual std::optional<int> OpenBoxDefault() = 0;
  virtual Look LookAtScreen() = 0;
  /// The `dump` lines of the active page ("text ..." and "item ..."); false when no page shows.
  virtual bool DumpPage(std::vector<std::string>& lines) = 0;
  /// Saves a picture of the wizard's windows named `name`; an error text when that failed. A
  /// toolkit that takes no pictures does nothing.
  virtual std::string Snapshot(const std::string& name) = 0;
};

/// The script's lines as a reader delivers them. Shared between the engine and the reader,
/// which may outlive the engine while it is blocked in a read that cannot be interrupted.
class ScriptLines {
 public:
  /// Text as read: split into lines at '\n', a '\r' before it dropped.
  void Append(const char* data, size_t size);
  /// The end of the script: text after the last line break is the last line.
  void Finish();
  /// The next line, waiting for it; false at the end of the script or after Interrupt.
  bool Next(std::string& line);
  /// Ends every wait of Next, now and later.
  void Interrupt();

 private:
  platform::Mutex mutex_;
  platform::ConditionVariable changed_;
  std::string partial_ KESTRUNE_GUARDED_BY(mutex_);
  std::deque<std::string> lines_ KESTRUNE_GUARDED_BY(mutex_);
  bool finished_ KESTRUNE_GUARDED_BY(mutex_) = false;
  bool interrupted_ KESTRUNE_GUARDED_BY(mutex_) = false;
};

/// The scripted front end, whatever the toolkit: reads commands, one a line, acts on the wizard
/// as a person would, and writes the transcript (transcript_lines.h). Commands:
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
///   machine ARGS...               changes the machine (where the toolkit's owner can)
///   dump                          the texts of the page that shows (text and item lines)
///   snapshot NAME                 a picture of the wizard's windows (where the toolkit can
///                                 take one); writes no transcript line
///
/// Blank lines and lines starting with '#' are skipped. A command that does not fit the screen
/// is tried again while the screen changes, as a person waits for a button to come alive; a
/// command that still does not fit, or a wait that does not come true, within the timeout
/// writes "script-error LINE: REASON", ends the session as a logoff does and makes Failed()
/// true. At the end of the script the engine waits for the wizard to end.
class ScriptEngine {
 public:
  struct Options {
    std::chrono::milliseconds timeout{std::chrono::seconds(120)};
    /// Runs the machine tool with the arguments; its exit code (-1 when it cannot start).
    /// Unset: `machine` is a script error.
    std::function<int(const std::vector<std::string>&)> runMachineTool;
    /// Looks at the machine at once and posts the device changes it finds.
    std::function<void()> pollDevices;
  };

  ScriptEngine(ScriptedScreen& screen, Transcript& transcript, Options options);
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  /// Where a reader delivers the script.
  const std::shared_ptr<ScriptLines>& lines() const { return lines_; }
  /// Runs the script on a thread of its own.
  void Start();
  /// Stops running the script (the program is ending) and joins the thread.
  void Stop();
  /// True after a script error.
  bool Failed() const { return failed_; }
  /// True while the script waits for the screen and nothing of its own is pending: a loop
  /// whose clock may jump can then jump to the next timer.
  bool Waiting() const { return waiting_ > 0 && pendingInputs_ == 0; }

  // What the toolkit reports (UI thread).
  /// The posted work ran out: the screen is as the user would see it now.
  void OnIdle();
  /// A message box opened; `line` is its transcript line. Answers it at once when the script
  /// has already given the answer.
  void OnBoxOpened(uint32_t id, const std::string& line, int defaultButton);
  /// A message box closed, with the answer when it was answered.
  void OnBoxClosed(uint32_t id, std::optional<int> answer);
  void OnSheetEnded(intptr_t result);

 private:
  struct Event {
    std::string kind;  ///< "page", "box", "status", "drives", "row", "end"
    std::string value;
  };
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
  using UiCommand = std::function<std::string(const ScriptedScreen::Accepted&)>;

  void RunScript();
  /// Runs one line; an empty text when it went well, else the reason of the script error.
  std::string Execute(int line, const std::vector<std::string>& words);
  std::string Select(const std::string& target);
  std::string ChooseUsb();
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

  ScriptedScreen& screen_;
  Transcript& transcript_;
  Options options_;
  std::shared_ptr<ScriptLines> lines_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::atomic<int> waiting_{0};
  std::atomic<int> pendingInputs_{0};

  // The screen as last written (UI thread only).
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

}  // namespace kestrune
