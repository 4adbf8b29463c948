#include "platform/win32/windows_support.h"

#include "platform/win32/win32_process_launcher.h"

#include <shellapi.h>

#include "platform/win32/win32_paths.h"

namespace kestrune::platform::win32 {
namespace {

class Win32ChildProcess : public ChildProcess {
 public:
  explicit Win32ChildProcess(HANDLE process) : process_(process) {}

  bool WaitForExit(uint32_t milliseconds) override {
    return WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
  }

  void Terminate(uint32_t exitCode) override {
    TerminateProcess(process_.get(), exitCode);
    WaitForSingleObject(process_.get(), 5000);
  }

  bool ReadExitCode(uint32_t& exitCode) override {
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code)) return false;
    exitCode = code;
    return true;
  }

 private:
  windows::UniqueHandle process_;
};

}  // namespace

ProcessLauncher::StartResult Win32ProcessLauncher::StartHidden(const std::wstring& program,
                                                               const std::wstring& parameters,
                                                               const std::wstring& workingFolder) {
  StartResult result;
  // A program is never searched for: the working folder and the search path may be the
  // user's to write.
  if (!IsAbsolutePath(program)) {
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = workingFolder.empty() ? nullptr : workingFolder.c_str();
  info.nShow = SW_HIDE;

  if (!ShellExecuteExW(&info)) {
    result.error = GetLastError();
    return result;
  }
  result.started = true;
  if (info.hProcess != nullptr) result.process = std::make_unique<Win32ChildProcess>(info.hProcess);
  return result;
}

}  // namespace kestrune::platform::win32
