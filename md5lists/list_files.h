#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrune::harlune {

enum class ListReadResult {
  kRead,
  kNotFound,    ///< nothing exists at the path
  kCannotOpen,  ///< something exists there but cannot be read as a file
};

/// Reads the whole file at `path` into `bytes`, keeping other writers out while it is open
/// where the system can. One implementation per platform.
[[nodiscard]] ListReadResult ReadListFile(const std::filesystem::path& path, std::string& bytes);

/// Creates (or truncates) the file at `path`, keeping other writers out while it is open
/// where the system can, and writes `bytes` into it. False when the file cannot be created or
/// written. A file that was created but could not be written in full is removed again: the
/// check tool trusts every list it finds, and a shortened one would let unchecked files pass.
[[nodiscard]] bool WriteListFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace kestrune::harlune
