#pragma once

// The wizard branch of KestrixDw.exe: the real window system, the Windows services and, when
// asked for, the scripted front end.

#include "platform/win32/windows_support.h"

#include "app/tool_services.h"
#include "app/vantor_app.h"

namespace kestrune::platform::win32 {

/// Runs the wizard on the property sheet of the Windows toolkit over the Windows services.
///
///   KESTRUNE_UI=script          the scripted front end: commands on standard input, the
///                               transcript to KESTRUNE_UI_LOG (standard error when unset)
///   KESTRUNE_UI_TIMEOUT=S       seconds a script waits for the screen (default 120)
///   KESTRUNE_UI_SNAPSHOTS=DIR   where the script's `snapshot NAME` saves NAME.bmp
///
/// Without KESTRUNE_UI the wizard is for a person, as the product ships it.
class Win32WizardBranch : public WizardBranch {
 public:
  Win32WizardBranch(ToolServices& tools, HINSTANCE module) : tools_(tools), module_(module) {}

  void Run(RunContext& context) override;

  /// 0, or 2 after a script error (or when the transcript cannot be written).
  int ExitStatus() const { return exitStatus_; }

 private:
  ToolServices& tools_;
  HINSTANCE module_;
  int exitStatus_ = 0;
};

}  // namespace kestrune::platform::win32
