#include "sim/registry_hive.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "text/ascii_case.h"
#include "text/utf8.h"

namespace kestrune::sim {
namespace {

using Json = nlohmann::ordered_json;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (const uint8_t b : bytes) text += {digits[b >> 4], digits[b & 15]};
  return text;
}

std::vector<uint8_t> FromHex(const std::string& text) {
  if (text.size() % 2 != 0) throw std::invalid_argument("hex text of odd length");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Text as a REG_SZ value holds it: UTF-16LE with a terminator.
std::vector<uint8_t> Utf16Bytes(const std::string& utf8) {
  std::vector<uint8_t> bytes;
  for (const char16_t unit : text::Utf16FromUtf8(utf8, text::InvalidUtf8::kEscape)) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The text of REG_SZ bytes up to the first terminator.
std::string TextOfUtf16(const std::vector<uint8_t>& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    units += unit;
  }
  return text::Utf8FromUtf16(units);
}

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
        } else if (value.is_object()) {
          target[name] = TypedBytes{value.at("type").get<uint32_t>(),
                                    FromHex(value.at("hex").get<std::string>())};
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
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        entry[name] = *text;
      } else {
        const auto& typed = std::get<TypedBytes>(value);
        entry[name] = Json{{"type", typed.type}, {"hex", Hex(typed.bytes)}};
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
  const bool above = std::any_of(keys_.begin(), keys_.end(), [&wanted](const auto& entry) {
    const std::string& key = entry.first;
    return key.size() > wanted.size() && key[wanted.size()] == '\\' &&
           SameKey(std::string_view(key).substr(0, wanted.size()), wanted);
  });
  if (wanted.empty() || above) return &keys_[wanted];
  return nullptr;
}

RegistryHive::Values& RegistryHive::AddKey(const std::string& path) {
  if (Values* existing = FindKey(path)) return *existing;
  return keys_[NormalizeKeyPath(path)];
}

RegistryHive::TypedBytes RawValue(const RegistryHive::Value& value) {
  if (const auto* number = std::get_if<uint32_t>(&value)) {
    return {kRegDword,
            {static_cast<uint8_t>(*number), static_cast<uint8_t>(*number >> 8),
             static_cast<uint8_t>(*number >> 16), static_cast<uint8_t>(*number >> 24)}};
  }
  if (const auto* text = std::get_if<std::string>(&value)) return {kRegSz, Utf16Bytes(*text)};
  return std::get<RegistryHive::TypedBytes>(value);
}

RegistryHive::Value StoredValue(uint32_t type, const std::vector<uint8_t>& bytes) {
  if (type == kRegDword && bytes.size() == 4) {
    return static_cast<uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                 (static_cast<uint32_t>(bytes[3]) << 24));
  }
  if (type == kRegSz) {
    const std::string text = TextOfUtf16(bytes);
    if (Utf16Bytes(text) == bytes) return text;
  }
  return RegistryHive::TypedBytes{type, bytes};
}

}  // namespace kestrune::sim
