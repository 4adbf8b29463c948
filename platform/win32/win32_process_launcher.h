#pragma once

#include "platform/process_launcher.h"

namespace kestrune::platform::win32 {

/// ShellExecuteExW with the "open" verb, SW_HIDE and SEE_MASK_NOCLOSEPROCESS |
/// SEE_MASK_FLAG_NO_UI. A bare program name is taken from the working folder; "cmd.exe" is the
/// interpreter of the system folder (the 32-bit one for this 32-bit program), never a file of
/// that name in the working folder.
class Win32ProcessLauncher : public ProcessLauncher {
 public:
  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& workingFolder) override;
};

}  // namespace kestrune::platform::win32
