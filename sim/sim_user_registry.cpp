#include "sim/sim_user_registry.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/native_path.h"
#include "sim/power_cut.h"
#include "sim/registry_hive.h"
#include "text/ascii_case.h"
#include "text/utf8.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;
namespace err = platform::win32error;
using text::Utf8FromWide;
using text::WideFromUtf8;

constexpr uint32_t kInvalidSid = 1337;
constexpr uint32_t kKeyDeleted = 1018;
constexpr uint32_t kBadDatabase = 1009;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return text::EqualsIgnoringAsciiCase(a, b);
}

// Whether the system holds the user's hive loaded below HKEY_USERS\<SID>, as it does while the
// user is logged on interactively.
bool HeldBySystem(const UserDescription& user) { return user.loggedOn && user.interactive; }

// The user whose hive the system holds as `subkey`; null when there is none.
const UserDescription* SystemMount(const MachineDescription& machine, const std::string& subkey) {
  for (const auto& user : machine.users) {
    if (HeldBySystem(user) && EqualsIgnoringCase(user.sid, subkey)) return &user;
  }
  return nullptr;
}

fs::path OwnHiveFile(const Machine& owner, const UserDescription& user) {
  return owner.Folder() / "users" / user.profileFolder / "ntuser.dat";
}

// A hive mounted below HKEY_USERS, and the user whose hive it is (null for a file that is no
// user's hive).
struct Mounted {
  fs::path file;
  const UserDescription* user = nullptr;
};

// The hive mounted as `subkey`: one a program mounted, or the hive the system holds for a user
// logged on interactively.
std::optional<Mounted> MountedHive(const Machine& owner, const MachineDescription& machine,
                                   const std::string& subkey) {
  for (const auto& [name, file] : machine.loadedHives) {
    if (!EqualsIgnoringCase(name, subkey)) continue;
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(file, error);
    for (const auto& user : machine.users) {
      if (fs::weakly_canonical(OwnHiveFile(owner, user), error) == canonical) {
        return Mounted{file, &user};
      }
    }
    return Mounted{file, nullptr};
  }
  if (const UserDescription* user = SystemMount(machine, subkey)) {
    return Mounted{OwnHiveFile(owner, *user), user};
  }
  return std::nullopt;
}

// Whether the access control list of key `path` of the user's hive keeps this program out.
bool Denied(const UserDescription* user, const std::string& path) {
  if (user == nullptr) return false;
  const std::string wanted = NormalizeKeyPath(path);
  return std::any_of(user->deniedKeys.begin(), user->deniedKeys.end(),
                     [&wanted](const std::string& key) {
                       return EqualsIgnoringCase(NormalizeKeyPath(key), wanted);
                     });
}

// An open key: every operation goes to the hive file under the machine lock, so other
// processes see each change at once.
class SimRegistryKey : public platform::RegistryKey {
 public:
  SimRegistryKey(Machine& machine, std::string subkey, std::string path,
                 std::shared_ptr<SimUserRegistry::OpenKeys> openKeys)
      : machine_(machine),
        subkey_(std::move(subkey)),
        path_(std::move(path)),
        openKeys_(std::move(openKeys)) {
    ++(*openKeys_)[text::ToAsciiLower(subkey_)];
  }
  ~SimRegistryKey() override { --(*openKeys_)[text::ToAsciiLower(subkey_)]; }
  SimRegistryKey(const SimRegistryKey&) = delete;
  SimRegistryKey& operator=(const SimRegistryKey&) = delete;

  uint32_t ReadDword(const std::wstring& name, uint32_t& value) override {
    return Apply([&](RegistryHive::Values& values, bool&) {
      const auto it = Find(values, Utf8FromWide(name));
      if (it == values.end()) return err::kFileNotFound;
      const auto* number = std::get_if<uint32_t>(&it->second);
      if (!number) return err::kUnsupportedType;
      value = *number;
      return err::kSuccess;
    });
  }

  uint32_t WriteDword(const std::wstring& name, uint32_t value) override {
    return Apply([&](RegistryHive::Values& values, bool& changed) {
      const std::string text = Utf8FromWide(name);
      const auto it = Find(values, text);
      values[it == values.end() ? text : it->first] = value;
      changed = true;
      return err::kSuccess;
    });
  }

  uint32_t ReadValue(const std::wstring& name, uint32_t& type,
                     std::vector<uint8_t>& data) override {
    return Apply([&](RegistryHive::Values& values, bool&) {
      const auto it = Find(values, Utf8FromWide(name));
      if (it == values.end()) return err::kFileNotFound;
      RegistryHive::TypedBytes raw = RawValue(it->second);
      type = raw.type;
      data = std::move(raw.bytes);
      return err::kSuccess;
    });
  }

  uint32_t WriteValue(const std::wstring& name, uint32_t type,
                      const std::vector<uint8_t>& data) override {
    return Apply([&](RegistryHive::Values& values, bool& changed) {
      const std::string text = Utf8FromWide(name);
      const auto it = Find(values, text);
      values[it == values.end() ? text : it->first] = StoredValue(type, data);
      changed = true;
      return err::kSuccess;
    });
  }

  uint32_t DeleteValue(const std::wstring& name) override {
    return Apply([&](RegistryHive::Values& values, bool& changed) {
      const auto it = Find(values, Utf8FromWide(name));
      if (it == values.end()) return err::kFileNotFound;
      values.erase(it);
      changed = true;
      return err::kSuccess;
    });
  }

 private:
  static RegistryHive::Values::iterator Find(RegistryHive::Values& values,
                                             const std::string& name) {
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (EqualsIgnoringCase(it->first, name)) return it;
    }
    return values.end();
  }

  template <typename Operation>
  uint32_t Apply(Operation operation) {
    uint32_t result = err::kAccessDenied;
    machine_.Exclusive([&] {
      MachineDescription machine;
      if (!machine_.ReadHeld(machine)) return false;
      const auto mounted = MountedHive(machine_, machine, subkey_);
      if (!mounted) {
        result = kKeyDeleted;  // the hive was unmounted under the open key
        return true;
      }
      RegistryHive hive;
      RegistryHive::Values* values = hive.Load(mounted->file) ? hive.FindKey(path_) : nullptr;
      if (!values) {
        result = kKeyDeleted;
        return true;
      }
      bool changed = false;
      result = operation(*values, changed);
      if (changed && !hive.Save(mounted->file)) result = err::kAccessDenied;
      return true;
    });
    return result;
  }

  Machine& machine_;
  std::string subkey_;
  std::string path_;
  std::shared_ptr<SimUserRegistry::OpenKeys> openKeys_;
};

}  // namespace

std::vector<uint8_t> SidFromText(const std::string& text) {
  if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return {};
  std::vector<uint64_t> parts;
  size_t position = 2;
  while (position <= text.size()) {
    size_t end = text.find('-', position);
    if (end == std::string::npos) end = text.size();
    if (end == position) return {};
    uint64_t number = 0;
    for (size_t i = position; i < end; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return {};
      number = number * 10 + static_cast<uint64_t>(text[i] - '0');
      if (number > 0xFFFFFFFFFFFFull) return {};
    }
    parts.push_back(number);
    position = end + 1;
  }
  // Revision, identifier authority, then 1 to 15 sub-authorities of 32 bits.
  if (parts.size() < 3 || parts.size() > 17 || parts[0] != 1) return {};
  std::vector<uint8_t> sid{1, static_cast<uint8_t>(parts.size() - 2)};
  for (int shift = 40; shift >= 0; shift -= 8)
    sid.push_back(static_cast<uint8_t>(parts[1] >> shift));
  for (size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFFFFFFu) return {};
    for (int shift = 0; shift < 32; shift += 8)
      sid.push_back(static_cast<uint8_t>(parts[i] >> shift));
  }
  return sid;
}

std::string SidText(const std::vector<uint8_t>& sid) {
  if (sid.size() < 8 || sid[0] != 1 || sid.size() != 8u + 4u * sid[1]) return {};
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  // Appended piece by piece: GCC 12 misreads "-" + std::to_string(...) as an overlap.
  std::string text = "S-1-";
  text += std::to_string(authority);
  for (size_t i = 8; i < sid.size(); i += 4) {
    const uint32_t part =
        sid[i] | (sid[i + 1] << 8) | (sid[i + 2] << 16) | (static_cast<uint32_t>(sid[i + 3]) << 24);
    text += '-';
    text += std::to_string(part);
  }
  return text;
}

uint32_t SimUserRegistry::EnumerateLoggedOnUsers(std::vector<std::wstring>& names,
                                                 uint32_t& resumeHandle) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return err::kAccessDenied;
  if (machine.faults.userEnumeration != 0) return machine.faults.userEnumeration;
  std::vector<std::string> sessions;
  for (const auto& user : machine.users) {
    if (!user.loggedOn) continue;
    for (uint32_t i = 0; i < user.sessions; ++i) sessions.push_back(user.name);
  }
  const size_t batch =
      machine.userEnumerationBatch == 0 ? sessions.size() : machine.userEnumerationBatch;
  size_t index = resumeHandle;
  const size_t end = std::min(sessions.size(), index + batch);
  for (; index < end; ++index) names.push_back(WideFromUtf8(sessions[index]));
  if (index < sessions.size()) {
    resumeHandle = static_cast<uint32_t>(index);
    return err::kMoreData;
  }
  resumeHandle = 0;
  return err::kSuccess;
}

uint32_t SimUserRegistry::LookupAccountSid(const std::wstring& accountName,
                                           std::vector<uint8_t>& sid) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return err::kAccessDenied;
  const std::string name = Utf8FromWide(accountName);
  for (const auto& user : machine.users) {
    if (EqualsIgnoringCase(user.name, name)) {
      sid = SidFromText(user.sid);
      return sid.empty() ? kInvalidSid : err::kSuccess;
    }
  }
  return err::kNoneMapped;
}

uint32_t SimUserRegistry::SidToString(const std::vector<uint8_t>& sid, std::wstring& text) {
  const std::string value = SidText(sid);
  if (value.empty()) return kInvalidSid;
  text = WideFromUtf8(value);
  return err::kSuccess;
}

bool SimUserRegistry::GetProfileFolder(std::wstring& folder) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return false;
  for (const auto& user : machine.users) {
    if (EqualsIgnoringCase(user.name, machine.currentUser)) {
      folder = platform::FromNativePath(machine_.Folder() / "users" / user.profileFolder);
      return true;
    }
  }
  return false;
}

uint32_t SimUserRegistry::EnableRestorePrivilege(bool enable) {
  if (!enable) {
    privilegeEnabled_ = false;
    return err::kSuccess;
  }
  MachineDescription machine;
  if (!machine_.Read(machine)) return err::kAccessDenied;
  if (!machine.restorePrivilegeHeld) return err::kNotAllAssigned;
  privilegeEnabled_ = true;
  return err::kSuccess;
}

uint32_t SimUserRegistry::LoadHive(const std::wstring& subkey, const std::wstring& hiveFile) {
  if (!privilegeEnabled_) return err::kPrivilegeNotHeld;
  const fs::path file = platform::ToNativePath(hiveFile);
  uint32_t result = err::kSuccess;
  const bool read = machine_.Modify([&](MachineDescription& machine) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
      result = err::kFileNotFound;
      return false;
    }
    const fs::path canonical = fs::weakly_canonical(file, error);
    // The system holds the hive of a user logged on interactively, below the user's SID.
    if (SystemMount(machine, Utf8FromWide(subkey)) != nullptr) {
      result = err::kSharingViolation;
      return false;
    }
    for (const auto& user : machine.users) {
      const fs::path own = fs::weakly_canonical(OwnHiveFile(machine_, user), error);
      if (own == canonical && HeldBySystem(user)) {
        result = err::kSharingViolation;
        return false;
      }
    }
    for (const auto& [name, loaded] : machine.loadedHives) {
      if (EqualsIgnoringCase(name, Utf8FromWide(subkey)) ||
          fs::weakly_canonical(loaded, error) == canonical) {
        result = err::kSharingViolation;
        return false;
      }
    }
    RegistryHive hive;
    if (!hive.Load(file)) {
      result = kBadDatabase;
      return false;
    }
    machine.loadedHives[Utf8FromWide(subkey)] = canonical.string();
    return true;
  });
  return read ? result : err::kAccessDenied;
}

uint32_t SimUserRegistry::UnloadHive(const std::wstring& subkey) {
  if (!privilegeEnabled_) return err::kPrivilegeNotHeld;
  {
    MachineDescription machine;
    if (machine_.Read(machine) &&
        std::any_of(machine.loadedHives.begin(), machine.loadedHives.end(),
                    [&](const auto& hive) { return EqualsIgnoringCase(hive.first, Utf8FromWide(subkey)); })) {
      PowerCutAt(power_cut::kHiveMounted);
    }
  }
  // A hive with an open key cannot be unloaded.
  if ((*openKeys_)[text::ToAsciiLower(Utf8FromWide(subkey))] > 0) return err::kAccessDenied;
  uint32_t result = err::kInvalidParameter;
  const bool read = machine_.Modify([&](MachineDescription& machine) {
    if (machine.faults.unloadHiveFailures > 0) {
      --machine.faults.unloadHiveFailures;
      result = err::kAccessDenied;
      return true;
    }
    for (auto it = machine.loadedHives.begin(); it != machine.loadedHives.end(); ++it) {
      if (EqualsIgnoringCase(it->first, Utf8FromWide(subkey))) {
        machine.loadedHives.erase(it);
        result = err::kSuccess;
        return true;
      }
    }
    // The system's own mount of a logged-on user's hive stays: its user's processes hold keys.
    if (SystemMount(machine, Utf8FromWide(subkey)) != nullptr) result = err::kAccessDenied;
    return false;
  });
  return read ? result : err::kAccessDenied;
}

uint32_t SimUserRegistry::OpenUserKey(const std::wstring& subkey, const std::wstring& path,
                                      std::unique_ptr<platform::RegistryKey>& key) {
  MachineDescription machine;
  if (!machine_.Read(machine)) return err::kAccessDenied;
  const std::string name = Utf8FromWide(subkey);
  const auto mounted = MountedHive(machine_, machine, name);
  if (!mounted) return err::kFileNotFound;
  RegistryHive hive;
  if (!hive.Load(mounted->file) || !hive.FindKey(Utf8FromWide(path))) return err::kFileNotFound;
  if (Denied(mounted->user, Utf8FromWide(path))) return err::kAccessDenied;
  key = std::make_unique<SimRegistryKey>(machine_, name, Utf8FromWide(path), openKeys_);
  return err::kSuccess;
}

}  // namespace kestrune::sim
