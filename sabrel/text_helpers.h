#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrune::sabrel {

/// Texts are UTF-8 inside Sabrel; char8_t paths convert to the native form (UTF-8 bytes on
/// Linux, UTF-16 on Windows) without the process locale.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// FAT32 compares names without regard to case; only ASCII letters are folded here, which
/// covers the names of recovery sets and never merges two names a drive could tell apart.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace kestrune::sabrel
