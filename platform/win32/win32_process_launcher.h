#pragma once

#include "platform/process_launcher.h"

namespace kestrune::platform::win32 {

/// ShellExecuteExW with the "open" verb, SW_HIDE and SEE_MASK_NOCLOSEPROCESS |
/// SEE_MASK_FLAG_NO_UI. A program that is not an absolute path (a bare name, "cmd.exe",
/// "tools\x.exe", "C:x.exe") fails with ERROR_FILE_NOT_FOUND before the shell sees it.
///
/// With its output going to a file, the program is started by CreateProcessW instead (the
/// shell cannot hand a child a file as its standard output), without a window, inheriting
/// only the three handles it is given.
class Win32ProcessLauncher : public ProcessLauncher {
 public:
  StartResult StartHidden(const std::wstring& program, const std::wstring& parameters,
                          const std::wstring& workingFolder) override;
  StartResult StartHiddenWithOutput(const std::wstring& program, const std::wstring& parameters,
                                    const std::wstring& workingFolder,
                                    const std::wstring& outputFile) override;
};

}  // namespace kestrune::platform::win32
