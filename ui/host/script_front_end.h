#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/unique_fd.h"
#include "ui/host/host_toolkit.h"
#include "ui/host/transcript.h"
#include "ui/script/script_engine.h"
#include "ui/script/toolkit_screen.h"

namespace kestrune::ui::host {

/// The scripted front end on the host toolkit: the script engine (wizard/script_engine.h, which
/// lists the commands) acting on the host windows, with the script read from a file
/// descriptor. `snapshot` takes no pictures here; `machine` runs the machine tool when the
/// options give one.
class ScriptFrontEnd : public ScreenObserver, private ToolkitScreen<HostToolkit> {
 public:
  using Options = ScriptEngine::Options;

  ScriptFrontEnd(HostToolkit& toolkit, Transcript& transcript, Options options);
  ~ScriptFrontEnd() override;
  ScriptFrontEnd(const ScriptFrontEnd&) = delete;
  ScriptFrontEnd& operator=(const ScriptFrontEnd&) = delete;

  /// Starts reading commands from the file descriptor `script` (standard input in the
  /// program) on a thread of its own. The descriptor stays open.
  void Start(int script);
  /// Stops reading (the program is ending) and joins the threads.
  void Stop();
  /// True after a script error.
  bool Failed() const { return engine_.Failed(); }
  /// True while the script waits for the screen (nothing of its own is pending): the loop's
  /// clock may then jump to the next timer.
  bool Waiting() const { return engine_.Waiting(); }

  // ScreenObserver (UI thread)
  void OnIdle() override;
  void OnMessageBoxOpened(const MessageBoxState& box) override;
  void OnMessageBoxClosed(const MessageBoxState& box) override;
  void OnSheetEnded(intptr_t result) override;

 private:
  // ScriptedScreen: what the screen shows (UI thread), and the way to the UI thread
  void Post(std::function<void()> work) override;
  std::optional<DriveList> ActiveDriveList() override;
  std::optional<int> OpenBoxDefault() override;
  Look LookAtScreen() override;
  bool DumpPage(std::vector<std::string>& lines) override;
  std::string Snapshot(const std::string& name) override;

  /// Reads `script` into the engine's lines until its end or Stop.
  void Read(int script);

  ScriptEngine engine_;
  std::thread reader_;
  /// Written to by Stop, to wake the reader from its poll.
  platform::host::Pipe stopPipe_ = platform::host::MakePipe();
};

}  // namespace kestrune::ui::host
