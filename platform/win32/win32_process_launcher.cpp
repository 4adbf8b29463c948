#include "platform/win32/windows_support.h"

#include "platform/win32/win32_process_launcher.h"

#include <shellapi.h>

#include "text/ascii_case.h"

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

bool IsBareName(const std::wstring& name) {
  return name.find_first_of(L"\\/:") == std::wstring::npos;
}

std::wstring ResolveProgram(const std::wstring& program, const std::wstring& folder) {
  if (text::EqualsIgnoringAsciiCase(program, L"cmd.exe")) {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return program;
    return std::wstring(system, length) + L"\\cmd.exe";
  }
  if (!IsBareName(program) || folder.empty()) return program;
  std::wstring path = folder;
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + program;
}

}  // namespace

ProcessLauncher::StartResult Win32ProcessLauncher::StartHidden(const std::wstring& program,
                                                               const std::wstring& parameters,
                                                               const std::wstring& workingFolder) {
  const std::wstring file = ResolveProgram(program, workingFolder);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = workingFolder.empty() ? nullptr : workingFolder.c_str();
  info.nShow = SW_HIDE;

  StartResult result;
  if (!ShellExecuteExW(&info)) {
    result.error = GetLastError();
    return result;
  }
  result.started = true;
  if (info.hProcess != nullptr) result.process = std::make_unique<Win32ChildProcess>(info.hProcess);
  return result;
}

}  // namespace kestrune::platform::win32
