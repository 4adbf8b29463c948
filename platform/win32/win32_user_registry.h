#pragma once

// Users and their registry hives: the workstation user enumeration, account SIDs, the
// profile folder, the restore privilege of the process token and hives below HKEY_USERS.

#include "platform/win32/windows_support.h"

#include "platform/user_registry.h"

namespace kestrune::platform::win32 {

class Win32UserRegistry : public UserRegistry {
 public:
  uint32_t EnumerateLoggedOnUsers(std::vector<std::wstring>& names,
                                  uint32_t& resumeHandle) override;
  uint32_t LookupAccountSid(const std::wstring& accountName, std::vector<uint8_t>& sid) override;
  uint32_t SidToString(const std::vector<uint8_t>& sid, std::wstring& text) override;
  bool GetProfileFolder(std::wstring& folder) override;
  uint32_t EnableRestorePrivilege(bool enable) override;
  uint32_t LoadHive(const std::wstring& subkey, const std::wstring& hiveFile) override;
  uint32_t UnloadHive(const std::wstring& subkey) override;
  uint32_t OpenUserKey(const std::wstring& subkey, const std::wstring& path,
                       std::unique_ptr<RegistryKey>& key) override;
};

/// A key opened by OpenUserKey.
class Win32RegistryKey : public RegistryKey {
 public:
  explicit Win32RegistryKey(windows::UniqueRegistryKey key) : key_(std::move(key)) {}

  uint32_t ReadDword(const std::wstring& name, uint32_t& value) override;
  uint32_t WriteDword(const std::wstring& name, uint32_t value) override;
  uint32_t DeleteValue(const std::wstring& name) override;
  uint32_t ReadValue(const std::wstring& name, uint32_t& type, std::vector<uint8_t>& data) override;
  uint32_t WriteValue(const std::wstring& name, uint32_t type,
                      const std::vector<uint8_t>& data) override;

 private:
  windows::UniqueRegistryKey key_;
};

}  // namespace kestrune::platform::win32
