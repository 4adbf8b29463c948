#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace kestrune::sim {

/// A user's registry hive on the simulated machine: a JSON file (ntuser.dat in the profile
/// folder) of the form
///   { "keys": { "Software\\Microsoft\\...\\AutoplayHandlers": { "DisableAutoplay": 1 } } }
/// A number is a REG_DWORD value, a text a REG_SZ value. Key paths have no leading or
/// trailing backslash and match without regard to case, as registry keys do.
class RegistryHive {
 public:
  using Value = std::variant<uint32_t, std::string>;
  using Values = std::map<std::string, Value>;

  /// Reads a hive file. False when it is missing or not a hive.
  bool Load(const std::filesystem::path& file);
  bool Save(const std::filesystem::path& file) const;

  /// The values of key `path` (backslashes, either case, an optional trailing backslash);
  /// null when the key does not exist.
  Values* FindKey(const std::string& path);
  /// Adds an empty key (building hives for machines).
  Values& AddKey(const std::string& path);

 private:
  std::map<std::string, Values> keys_;
};

/// The key path in the form the hive stores: no leading or trailing backslash.
std::string NormalizeKeyPath(const std::string& path);

}  // namespace kestrune::sim
