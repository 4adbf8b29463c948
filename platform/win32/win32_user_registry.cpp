#include "platform/win32/win32_user_registry.h"

#include <lm.h>
#include <sddl.h>
#include <shlobj.h>

namespace kestrune::platform::win32 {
namespace {

/// A buffer the network management functions allocated (NetApiBufferFree).
template <typename Pointer>
struct NetBufferTraits {
  using Handle = Pointer;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle buffer) noexcept { return buffer != nullptr; }
  static bool Close(Handle buffer) noexcept { return NetApiBufferFree(buffer) == NERR_Success; }
};

}  // namespace

uint32_t Win32UserRegistry::EnumerateLoggedOnUsers(std::vector<std::wstring>& names,
                                                   uint32_t& resumeHandle) {
  windows::ScopedOwner<NetBufferTraits<WKSTA_USER_INFO_0*>> users;
  DWORD read = 0, total = 0, resume = resumeHandle;
  const NET_API_STATUS status =
      NetWkstaUserEnum(nullptr, 0, reinterpret_cast<LPBYTE*>(users.Receive()), MAX_PREFERRED_LENGTH,
                       &read, &total, &resume);
  resumeHandle = resume;
  if ((status == NERR_Success || status == ERROR_MORE_DATA) && users) {
    for (DWORD i = 0; i < read; ++i) {
      if (users.get()[i].wkui0_username != nullptr)
        names.emplace_back(users.get()[i].wkui0_username);
    }
  }
  return status;
}

uint32_t Win32UserRegistry::LookupAccountSid(const std::wstring& accountName,
                                             std::vector<uint8_t>& sid) {
  // First learn the sizes of the SID and the domain name, then fetch both.
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use = SidTypeUnknown;
  LookupAccountNameW(nullptr, accountName.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return error == ERROR_SUCCESS ? ERROR_NONE_MAPPED : error;
  std::vector<uint8_t> buffer(sidSize);
  std::wstring domain(domainSize, L'\0');
  if (!LookupAccountNameW(nullptr, accountName.c_str(), buffer.data(), &sidSize, domain.data(),
                          &domainSize, &use)) {
    return GetLastError();
  }
  buffer.resize(sidSize);
  sid = std::move(buffer);
  return ERROR_SUCCESS;
}

uint32_t Win32UserRegistry::SidToString(const std::vector<uint8_t>& sid, std::wstring& text) {
  if (sid.empty() || !IsValidSid(const_cast<uint8_t*>(sid.data()))) return ERROR_INVALID_SID;
  windows::UniqueLocalMemory<wchar_t*> converted;
  if (!ConvertSidToStringSidW(const_cast<uint8_t*>(sid.data()), converted.Receive()))
    return GetLastError();
  text = converted.get();
  return ERROR_SUCCESS;
}

bool Win32UserRegistry::GetProfileFolder(std::wstring& folder) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path)))
    return false;
  folder = path;
  return !folder.empty();
}

uint32_t Win32UserRegistry::EnableRestorePrivilege(bool enable) {
  windows::UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        token.Receive())) {
    return GetLastError();
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  if (!LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid))
    return GetLastError();
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
    return GetLastError();
  // Success with ERROR_NOT_ALL_ASSIGNED: the token does not hold the privilege at all.
  return GetLastError();
}

uint32_t Win32UserRegistry::LoadHive(const std::wstring& subkey, const std::wstring& hiveFile) {
  return static_cast<uint32_t>(RegLoadKeyW(HKEY_USERS, subkey.c_str(), hiveFile.c_str()));
}

uint32_t Win32UserRegistry::UnloadHive(const std::wstring& subkey) {
  return static_cast<uint32_t>(RegUnLoadKeyW(HKEY_USERS, subkey.c_str()));
}

uint32_t Win32UserRegistry::OpenUserKey(const std::wstring& subkey, const std::wstring& path,
                                        std::unique_ptr<RegistryKey>& key) {
  std::wstring name = subkey + L"\\" + path;
  while (!name.empty() && name.back() == L'\\') name.pop_back();
  windows::UniqueRegistryKey opened;
  const LONG error =
      RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ | KEY_WRITE, opened.Receive());
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  key = std::make_unique<Win32RegistryKey>(std::move(opened));
  return ERROR_SUCCESS;
}

uint32_t Win32RegistryKey::ReadDword(const std::wstring& name, uint32_t& value) {
  DWORD type = REG_NONE, data = 0, size = sizeof(data);
  const LONG error = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(&data), &size);
  if (error == ERROR_MORE_DATA) return ERROR_UNSUPPORTED_TYPE;
  if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
  if (type != REG_DWORD || size != sizeof(data)) return ERROR_UNSUPPORTED_TYPE;
  value = data;
  return ERROR_SUCCESS;
}

uint32_t Win32RegistryKey::WriteDword(const std::wstring& name, uint32_t value) {
  const DWORD data = value;
  return static_cast<uint32_t>(RegSetValueExW(key_.get(), name.c_str(), 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&data), sizeof(data)));
}

uint32_t Win32RegistryKey::DeleteValue(const std::wstring& name) {
  return static_cast<uint32_t>(RegDeleteValueW(key_.get(), name.c_str()));
}

uint32_t Win32RegistryKey::ReadValue(const std::wstring& name, uint32_t& type,
                                     std::vector<uint8_t>& data) {
  // The value may grow between asking for its size and reading it; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD kind = REG_NONE, size = 0;
    LONG error = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &kind, nullptr, &size);
    if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
    std::vector<uint8_t> bytes(size);
    error = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &kind, bytes.data(), &size);
    if (error == ERROR_MORE_DATA) continue;
    if (error != ERROR_SUCCESS) return static_cast<uint32_t>(error);
    bytes.resize(size);
    type = kind;
    data = std::move(bytes);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

uint32_t Win32RegistryKey::WriteValue(const std::wstring& name, uint32_t type,
                                      const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(RegSetValueExW(key_.get(), name.c_str(), 0, type,
                                              data.empty() ? nullptr : data.data(),
                                              static_cast<DWORD>(data.size())));
}

}  // namespace kestrune::platform::win32
