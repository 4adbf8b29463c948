#include "platform/win32/windows_support.h"

#include "platform/win32/win32_system.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

namespace kestrune::platform::win32 {

std::optional<bool> Win32SystemInfo::IsWow64Process() {
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(GetCurrentProcess(), &wow64)) return std::nullopt;
  return wow64 != FALSE;
}

std::wstring Win32SystemInfo::SystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length);
}

bool Win32RestartCleanup::DeleteAtRestart(const std::wstring& path) {
  return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

void Win32Clock::Pause(uint32_t milliseconds) { Sleep(milliseconds); }

std::wstring RunningProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);  // truncated
  }
  const size_t separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos) return {};
  return path.substr(0, separator);
}

bool Win32Downloader::Start() {
  const std::wstring folder = RunningProgramFolder();
  if (folder.empty()) return false;
  const std::wstring program = folder + L"\\KestrixDl.exe";
  const auto instance = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return instance > 32;
}

void Win32StandardOutput::Write(std::string_view text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  FlushFileBuffers(output);
}

void Win32ProcessSetup::Prepare() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  AllowSetForegroundWindow(ASFW_ANY);
  SetCurrentProcessExplicitAppUserModelID(
      L"Orvane Corporation.Kestrune.{6B1D2E90-3C47-4F15-9A2E-7D0C5B8E4F21}");
}

}  // namespace kestrune::platform::win32
