#pragma once

#include "platform/process_launcher.h"

namespace kestrune::platform::win32 {

/// ShellExecuteExW with the "open" verb, SW_HIDE and SEE_MASK_NOCLOSEPROCESS |
/// SEE_MASK_FLAG_NO_UI. A program that is not an absolute path (a bare name, "cmd.exe",
/// "tools\x.exe", "C:x.exe") fails with ERROR_FILE_NOT_FOUND before the shell sees it.
class Win32ProcessLauncher : public ProcessLauncher {
 public:
  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& workingFolder) override;
};

}  // namespace kestrune::platform::win32
