#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::sabrel {

/// Lists of a recovery set are a few kilobytes; anything far larger is not a list, and
/// reading it whole would only spend memory.
inline constexpr std::uintmax_t kMaxListBytes = std::uintmax_t{16} << 20;

struct ListFileContent {
  std::vector<std::byte> bytes;
  std::string problem;  ///< why the list could not be read; empty on success
};

ListFileContent ReadListFile(const std::filesystem::path& path);

}  // namespace kestrune::sabrel
