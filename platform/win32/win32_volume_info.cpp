#include "platform/win32/win32_volume_info.h"

#include <cwctype>

namespace kestrune::platform::win32 {

std::wstring Win32VolumeInfo::DriveRoot(wchar_t letter) {
  return std::wstring{static_cast<wchar_t>(std::towupper(letter)), L':', L'\\'};
}

wchar_t Win32VolumeInfo::SystemDriveLetter() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length < 2 || length >= MAX_PATH || folder[1] != L':') return 0;
  const wchar_t letter = static_cast<wchar_t>(std::towupper(folder[0]));
  return letter >= L'A' && letter <= L'Z' ? letter : 0;
}

bool Win32VolumeInfo::LabelVolume(wchar_t letter, const std::wstring& label) {
  const std::wstring root{letter, L':', L'\\'};
  return SetVolumeLabelW(root.c_str(), label.c_str()) != FALSE;
}

bool Win32VolumeInfo::GetFreeSpace(const std::wstring& path, VolumeSpace& space) {
  ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
  // A drive without a disc would otherwise ask the user to insert one.
  DWORD oldMode = 0;
  const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode) != FALSE;
  const BOOL answered = GetDiskFreeSpaceExW(path.c_str(), &freeToCaller, &total, &totalFree);
  if (quiet) SetThreadErrorMode(oldMode, nullptr);
  if (!answered) return false;
  space.freeBytesToCaller = freeToCaller.QuadPart;
  space.totalBytes = total.QuadPart;
  space.totalFreeBytes = totalFree.QuadPart;
  return true;
}

uint32_t Win32VolumeInfo::CreateTempFile(const std::wstring& folder, const std::wstring& prefix,
                                         std::wstring& path) {
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, name) == 0) return GetLastError();
  path = name;
  return ERROR_SUCCESS;
}

bool Win32OsVersion::IsWindows8OrGreater() {
  OSVERSIONINFOEXW wanted{};
  wanted.dwOSVersionInfoSize = sizeof(wanted);
  wanted.dwMajorVersion = 6;
  wanted.dwMinorVersion = 2;
  wanted.wServicePackMajor = 0;
  ULONGLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            conditions) != FALSE;
}

}  // namespace kestrune::platform::win32
