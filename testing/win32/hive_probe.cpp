// hive_probe.exe: what wine does with a hive file loaded below HKEY_USERS, for the USB wine
// test's autoplay check. It saves a small hive (the autoplay key with DisableAutoplay = 0),
// loads it once under a free name and once under the SID of the account it runs as (where
// the autoplay suppression mounts a logged-on user's hive), and prints one line per step:
//
//   save <code>  load-free <code> <value read or -> unload-free <code>  load-own-sid <code>
//
// with the Win32 error codes (0: success).
#include "platform/win32/windows_support.h"

#include <cstdio>
#include <string>

#include "testing/win32/folder_access.h"
#include "text/utf8.h"

namespace {

constexpr const wchar_t* kSource = L"Software\\KestruneHiveProbe";
constexpr const wchar_t* kAutoplay =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";

void EnablePrivilege(const wchar_t* name) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

// DisableAutoplay in the hive mounted at HKEY_USERS\`mount`, or -1.
long ReadAutoplay(const std::wstring& mount) {
  DWORD value = 0, size = sizeof(value);
  const std::wstring key = mount + L"\\" + kAutoplay;
  if (RegGetValueW(HKEY_USERS, key.c_str(), L"DisableAutoplay", RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS) {
    return -1;
  }
  return static_cast<long>(value);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: hive_probe FILE\n", stderr);
    return 2;
  }
  const wchar_t* file = argv[1];
  EnablePrivilege(SE_BACKUP_NAME);
  EnablePrivilege(SE_RESTORE_NAME);
  DeleteFileW(file);
  RegDeleteTreeW(HKEY_CURRENT_USER, kSource);
  HKEY source = nullptr, autoplay = nullptr;
  LONG saved = RegCreateKeyExW(HKEY_CURRENT_USER, kSource, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &source, nullptr);
  if (saved == ERROR_SUCCESS) {
    saved = RegCreateKeyExW(source, kAutoplay, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &autoplay,
                            nullptr);
  }
  if (saved == ERROR_SUCCESS) {
    const DWORD zero = 0;
    RegSetValueExW(autoplay, L"DisableAutoplay", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
    RegCloseKey(autoplay);
    saved = RegSaveKeyW(source, file, nullptr);
  }
  if (source != nullptr) RegCloseKey(source);
  RegDeleteTreeW(HKEY_CURRENT_USER, kSource);
  std::printf("save %ld\n", saved);

  const LONG loadFree = RegLoadKeyW(HKEY_USERS, L"KestruneHiveProbe", file);
  std::printf("load-free %ld %ld\n", loadFree, ReadAutoplay(L"KestruneHiveProbe"));
  std::printf("unload-free %ld\n",
              loadFree == ERROR_SUCCESS ? RegUnLoadKeyW(HKEY_USERS, L"KestruneHiveProbe") : -1L);

  const std::wstring own = kestrune::text::WideFromUtf8(kestrune::testing::RunningAccountSid());
  const LONG loadOwn = RegLoadKeyW(HKEY_USERS, own.c_str(), file);
  std::printf("load-own-sid %ld\n", loadOwn);
  if (loadOwn == ERROR_SUCCESS) RegUnLoadKeyW(HKEY_USERS, own.c_str());
  DeleteFileW(file);
  return 0;
}
