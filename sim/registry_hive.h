#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kestrune::sim {

/// A user's registry hive on the simulated machine: a JSON file (ntuser.dat in the profile
/// folder) of the form
///   { "keys": { "Software\\Microsoft\\...\\AutoplayHandlers": { "DisableAutoplay": 1 } } }
/// A number is a REG_DWORD value, a text a REG_SZ value, and an object
/// { "type": 3, "hex": "01ff" } a value of any type with exactly those bytes. Key paths have
/// no leading or trailing backslash and match without regard to case, as registry keys do.
/// As in the registry, the hive's root (the empty path) and every key above a listed one
/// exist too, with no values until some are written.
class RegistryHive {
 public:
  struct TypedBytes {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const TypedBytes&) const = default;
  };
  using Value = std::variant<uint32_t, std::string, TypedBytes>;
  using Values = std::map<std::string, Value>;

  /// Reads a hive file. False when it is missing or not a hive.
  bool Load(const std::filesystem::path& file);
  bool Save(const std::filesystem::path& file) const;

  /// The values of key `path` (backslashes, either case, an optional trailing backslash);
  /// null when the key does not exist. The root and a key above a listed one are added
  /// (empty) when asked for, so that values written into them are saved.
  Values* FindKey(const std::string& path);
  /// Adds an empty key (building hives for machines).
  Values& AddKey(const std::string& path);

 private:
  std::map<std::string, Values> keys_;
};

/// The key path in the form the hive stores: no leading or trailing backslash.
std::string NormalizeKeyPath(const std::string& path);

/// A value as the registry hands it out: its REG_* type and its bytes (REG_DWORD little
/// endian, REG_SZ UTF-16LE with its terminator).
RegistryHive::TypedBytes RawValue(const RegistryHive::Value& value);
/// The value to store for a type and bytes: a number or a text when the bytes are exactly
/// what that form gives back, the bytes themselves otherwise.
RegistryHive::Value StoredValue(uint32_t type, const std::vector<uint8_t>& bytes);

}  // namespace kestrune::sim
