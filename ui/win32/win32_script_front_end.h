#pragma once

#include "platform/win32/windows_support.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/script/script_engine.h"
#include "ui/script/toolkit_screen.h"
#include "ui/win32/win32_toolkit.h"
#include "ui/win32/win32_transcript.h"

namespace kestrune::ui::win32 {

/// The scripted front end of the Windows wizard (KESTRUNE_UI=script): the script engine
/// (wizard/script_engine.h, which lists the commands) acting on the real controls through
/// their messages, so that a script writes the same transcript lines as on Linux. `snapshot
/// NAME` saves NAME.bmp in the snapshot folder (nothing when there is none); `machine` runs
/// what the options give, if anything.
class ScriptFrontEnd : public ScreenObserver, private ToolkitScreen<Win32Toolkit> {
 public:
  struct Options {
    ScriptEngine::Options engine;
    /// Where `snapshot` writes its pictures; empty: snapshots are skipped.
    std::wstring snapshotFolder;
  };

  ScriptFrontEnd(Win32Toolkit& toolkit, Transcript& transcript, Options options);
  ~ScriptFrontEnd() override;
  ScriptFrontEnd(const ScriptFrontEnd&) = delete;
  ScriptFrontEnd& operator=(const ScriptFrontEnd&) = delete;

  /// Starts reading commands from `script` (standard input in the program). A blocked read
  /// cannot be interrupted everywhere (a console, a pipe whose writer lingers), so the reader
  /// is detached and shares only the engine's lines.
  void Start(HANDLE script);
  /// Stops (the program is ending) and joins the script thread.
  void Stop() { engine_.Stop(); }
  bool Failed() const { return engine_.Failed(); }
  /// True while the script waits for the screen and nothing of its own is pending.
  bool Waiting() const { return engine_.Waiting(); }

  // ScreenObserver (UI thread)
  void OnIdle() override;
  void OnMessageBoxOpened(MessageBoxRecord& box) override;
  void OnMessageBoxClosed(const MessageBoxRecord& box) override;
  void OnSheetEnded(intptr_t result) override;

 private:
  // ScriptedScreen: what the screen shows (UI thread), and the way to the UI thread
  void Post(std::function<void()> work) override;
  std::optional<DriveList> ActiveDriveList() override;
  std::optional<int> OpenBoxDefault() override;
  Look LookAtScreen() override;
  bool DumpPage(std::vector<std::string>& lines) override;
  std::string Snapshot(const std::string& name) override;

  std::wstring snapshotFolder_;
  ScriptEngine engine_;
};

}  // namespace kestrune::ui::win32
