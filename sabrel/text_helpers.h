#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "text/ascii_case.h"

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

/// FAT32 compares names without regard to case; only ASCII letters are folded, which covers
/// the names of recovery sets and never merges two names a drive could tell apart.
using text::EqualsIgnoringAsciiCase;

}  // namespace kestrune::sabrel
