#pragma once

// Files for tests of every part, the standalone tools included: a temporary folder that
// cleans up after itself, and whole-file reading and writing.

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrune::testing {

/// A fresh folder below the system's temporary folder, removed with everything in it, even
/// entries a test made read-only or unreadable.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  /// Creates `relative` (with its folders) holding `bytes`, and returns its full path. The
  /// default content is for files whose content does not matter.
  std::filesystem::path WriteFile(const std::string& relative, std::string_view bytes = "x") const;

 private:
  std::filesystem::path path_;
};

/// Creates or replaces `file` (with its folders) holding `bytes`; a test failure when that
/// cannot be done.
void WriteFile(const std::filesystem::path& file, std::string_view bytes);

/// The bytes of `file`; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& file);

}  // namespace kestrune::testing
