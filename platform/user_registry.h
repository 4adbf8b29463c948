#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::platform {

/// Windows system error codes the users and registry service answers with.
namespace win32error {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kMoreData = 234;
inline constexpr uint32_t kNoneMapped = 1332;
inline constexpr uint32_t kNotAllAssigned = 1300;
inline constexpr uint32_t kPrivilegeNotHeld = 1314;
inline constexpr uint32_t kUnsupportedType = 1630;
}  // namespace win32error

/// Registry value types (REG_*).
namespace regtype {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kString = 1;
inline constexpr uint32_t kExpandString = 2;
inline constexpr uint32_t kBinary = 3;
inline constexpr uint32_t kDword = 4;
}  // namespace regtype

/// A registry key opened for reading and writing (KEY_READ | KEY_WRITE). Closed when
/// destroyed.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  /// Reads a REG_DWORD value. kFileNotFound when the value does not exist,
  /// kUnsupportedType when it exists with another type.
  [[nodiscard]] virtual uint32_t ReadDword(const std::wstring& name, uint32_t& value) = 0;
  /// Creates or replaces the value as REG_DWORD.
  [[nodiscard]] virtual uint32_t WriteDword(const std::wstring& name, uint32_t value) = 0;
  /// kFileNotFound when there is no such value.
  [[nodiscard]] virtual uint32_t DeleteValue(const std::wstring& name) = 0;

  /// Reads a value of any type as the registry stores it (RegQueryValueExW): its type and its
  /// bytes (a REG_DWORD as four little-endian bytes, a REG_SZ as UTF-16LE with its
  /// terminator, if it has one). kFileNotFound when the value does not exist.
  [[nodiscard]] virtual uint32_t ReadValue(const std::wstring& name, uint32_t& type,
                                           std::vector<uint8_t>& data) = 0;
  /// Creates or replaces the value with exactly this type and these bytes (RegSetValueExW).
  [[nodiscard]] virtual uint32_t WriteValue(const std::wstring& name, uint32_t type,
                                            const std::vector<uint8_t>& data) = 0;
};

/// The logged-on users and their registry hives, shaped after the workstation user
/// enumeration, the account and SID functions, the shell's profile folder, the process
/// token's privileges and RegLoadKey/RegUnLoadKey below HKEY_USERS. Results are Windows
/// system error codes (0 = success).
class UserRegistry {
 public:
  virtual ~UserRegistry() = default;

  /// One call of the workstation user enumeration (level 0): appends the next user names to
  /// `names`. kMoreData when more remain; call again with the same `resumeHandle` (start with
  /// 0). A user logged on in several sessions is listed once per session.
  [[nodiscard]] virtual uint32_t EnumerateLoggedOnUsers(std::vector<std::wstring>& names,
                                                        uint32_t& resumeHandle) = 0;

  /// LookupAccountNameW: the account's security identifier in its binary form.
  [[nodiscard]] virtual uint32_t LookupAccountSid(const std::wstring& accountName,
                                                  std::vector<uint8_t>& sid) = 0;
  /// ConvertSidToStringSidW: "S-1-5-21-...".
  [[nodiscard]] virtual uint32_t SidToString(const std::vector<uint8_t>& sid,
                                             std::wstring& text) = 0;

  /// The profile folder of the user running this process (CSIDL_PROFILE). The hives of the
  /// other users lie in folders beside it, each named after the account (<parent>, <name>,
  /// "ntuser.dat"). False when it cannot be determined.
  [[nodiscard]] virtual bool GetProfileFolder(std::wstring& folder) = 0;

  /// Switches the process token's "SeRestorePrivilege" on or off. On: kNotAllAssigned when
  /// the process may not hold the privilege (the switch did nothing).
  [[nodiscard]] virtual uint32_t EnableRestorePrivilege(bool enable) = 0;

  /// Mounts the hive file `hiveFile` below HKEY_USERS as `subkey`. kPrivilegeNotHeld without
  /// the restore privilege switched on; kSharingViolation (or another code) when the hive or
  /// `subkey` is in use, for instance by the system for the user logged on interactively.
  [[nodiscard]] virtual uint32_t LoadHive(const std::wstring& subkey,
                                          const std::wstring& hiveFile) = 0;
  /// Unmounts a hive mounted by LoadHive. Fails (kAccessDenied) while a key of the hive is
  /// open, so every key must be closed first; never unmount a hive the system loaded for a
  /// logged-on user (its processes hold keys of it, and it is not this program's).
  [[nodiscard]] virtual uint32_t UnloadHive(const std::wstring& subkey) = 0;

  /// Opens HKEY_USERS\<subkey>\<path> for reading and writing; never creates it. `path` may
  /// end with a backslash; an empty `path` opens the hive's root, which exists exactly while a
  /// hive is mounted as `subkey`. kFileNotFound when the hive is not mounted or the key is
  /// absent; another code (kAccessDenied, say) when the key exists but cannot be opened. The
  /// system itself loads the hive of a user logged on interactively (and of some other
  /// logons) below the user's SID.
  [[nodiscard]] virtual uint32_t OpenUserKey(const std::wstring& subkey, const std::wstring& path,
                                             std::unique_ptr<RegistryKey>& key) = 0;
};

}  // namespace kestrune::platform
