#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/user_registry.h"
#include "sim/machine.h"

namespace kestrune::sim {

/// The users and registry of a simulated machine. The mounted hives are machine state (the
/// description's loadedHives), as HKEY_USERS is shared by all processes. The hive of a user
/// logged on interactively is loaded by the system below the user's SID, as Windows keeps it:
/// OpenUserKey finds it there, LoadHive of its file or onto that SID fails with 32 and
/// UnloadHive of the SID with 5. The restore privilege belongs to this object, as it belongs
/// to a process token, and starts switched off, as for an administrator's process on Windows.
/// The keys this object opened are its handles: while one is open its hive cannot be
/// unloaded. Faults: faults.unloadHiveFailures makes that many unloads fail; a user's
/// deniedKeys cannot be opened (5).
class SimUserRegistry : public platform::UserRegistry {
 public:
  /// Open keys by mounted subkey (lower case).
  using OpenKeys = std::map<std::string, int>;

  explicit SimUserRegistry(Machine& machine) : machine_(machine) {}

  uint32_t EnumerateLoggedOnUsers(std::vector<std::wstring>& names,
                                  uint32_t& resumeHandle) override;
  uint32_t LookupAccountSid(const std::wstring& accountName, std::vector<uint8_t>& sid) override;
  uint32_t SidToString(const std::vector<uint8_t>& sid, std::wstring& text) override;
  bool GetProfileFolder(std::wstring& folder) override;
  uint32_t EnableRestorePrivilege(bool enable) override;
  uint32_t LoadHive(const std::wstring& subkey, const std::wstring& hiveFile) override;
  uint32_t UnloadHive(const std::wstring& subkey) override;
  uint32_t OpenUserKey(const std::wstring& subkey, const std::wstring& path,
                       std::unique_ptr<platform::RegistryKey>& key) override;

  bool RestorePrivilegeEnabled() const { return privilegeEnabled_; }

 private:
  Machine& machine_;
  bool privilegeEnabled_ = false;
  std::shared_ptr<OpenKeys> openKeys_ = std::make_shared<OpenKeys>();
};

/// Binary form of a SID text ("S-1-5-21-...-1001"); empty when the text is not a SID.
std::vector<uint8_t> SidFromText(const std::string& text);
/// Text form of a binary SID; empty when the bytes are not a SID.
std::string SidText(const std::vector<uint8_t>& sid);

}  // namespace kestrune::sim
