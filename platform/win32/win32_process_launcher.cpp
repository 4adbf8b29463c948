#include "platform/win32/windows_support.h"

#include "platform/win32/win32_process_launcher.h"

#include <vector>

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

ProcessLauncher::StartResult Win32ProcessLauncher::StartHiddenWithOutput(
    const std::wstring& program, const std::wstring& parameters, const std::wstring& workingFolder,
    const std::wstring& outputFile) {
  StartResult result;
  if (!IsAbsolutePath(program) || !IsAbsolutePath(outputFile)) {
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  windows::UniqueHandle output(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                           &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
  windows::UniqueHandle nothing(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                            OPEN_EXISTING, 0, nullptr));
  if (!output.valid() || !nothing.valid()) {
    result.error = GetLastError();
    return result;
  }

  // Only these two handles reach the child, whatever else this process holds inheritable.
  HANDLE handles[] = {output.get(), nothing.get()};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> attributes(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
    result.error = GetLastError();
    return result;
  }
  const bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                handles, sizeof(handles), nullptr, nullptr) != FALSE;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = nothing.get();
  startup.StartupInfo.hStdOutput = output.get();
  startup.StartupInfo.hStdError = nothing.get();
  startup.lpAttributeList = list;
  std::wstring commandLine = L"\"" + program + L"\" " + parameters;
  PROCESS_INFORMATION process{};
  const BOOL created =
      listed && CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                               CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                               workingFolder.empty() ? nullptr : workingFolder.c_str(),
                               &startup.StartupInfo, &process);
  if (!created) result.error = GetLastError();
  DeleteProcThreadAttributeList(list);
  if (!created) return result;
  CloseHandle(process.hThread);
  result.started = true;
  result.process = std::make_unique<Win32ChildProcess>(process.hProcess);
  return result;
}

}  // namespace kestrune::platform::win32
