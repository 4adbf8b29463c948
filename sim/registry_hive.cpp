#include "sim/registry_hive.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "text/ascii_case.h"

namespace kestrune::sim {
namespace {

using Json = nlohmann::ordered_json;

bool SameKey(std::string_view a, std::string_view b) { return text::EqualsIgnoringAsciiCase(a, b); }

}  // namespace

std::string NormalizeKeyPath(const std::string& path) {
  size_t first = path.find_first_not_of('\\');
  if (first == std::string::npos) return {};
  size_t last = path.find_last_not_of('\\');
  return path.substr(first, last - first + 1);
}

bool RegistryHive::Load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  try {
    const Json j = Json::parse(text.str());
    std::map<std::string, Values> keys;
    for (const auto& [path, values] : j.at("keys").items()) {
      Values& target = keys[NormalizeKeyPath(path)];
      for (const auto& [name, value] : values.items()) {
        if (value.is_string()) {
          target[name] = value.get<std::string>();
        } else {
          target[name] = value.get<uint32_t>();
        }
      }
    }
    keys_ = std::move(keys);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool RegistryHive::Save(const std::filesystem::path& file) const {
  Json keys = Json::object();
  for (const auto& [path, values] : keys_) {
    Json entry = Json::object();
    for (const auto& [name, value] : values) {
      if (const auto* number = std::get_if<uint32_t>(&value)) {
        entry[name] = *number;
      } else {
        entry[name] = std::get<std::string>(value);
      }
    }
    keys[path] = entry;
  }
  const auto aside = file.string() + ".new";
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    out << Json{{"keys", keys}}.dump(2) << "\n";
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(aside, file, error);
  return !error;
}

RegistryHive::Values* RegistryHive::FindKey(const std::string& path) {
  const std::string wanted = NormalizeKeyPath(path);
  for (auto& [key, values] : keys_) {
    if (SameKey(key, wanted)) return &values;
  }
  return nullptr;
}

RegistryHive::Values& RegistryHive::AddKey(const std::string& path) {
  if (Values* existing = FindKey(path)) return *existing;
  return keys_[NormalizeKeyPath(path)];
}

}  // namespace kestrune::sim
