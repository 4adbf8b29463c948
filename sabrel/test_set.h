#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support/test_files.h"

namespace kestrune::sabrel::testing {

namespace fs = std::filesystem;

using kestrune::testing::ReadFile;
using kestrune::testing::TempFolder;
using kestrune::testing::WriteFile;

/// MD5 as lower-case hexadecimal, through the same library the program uses (its
/// correctness is pinned separately by the RFC 1321 vectors).
std::string Md5Hex(std::string_view bytes);

/// UTF-16LE bytes of `text`, with the byte-order mark when `withMark`.
std::string Utf16Le(std::u16string_view text, bool withMark = true);

/// A drive folder with files, and its list in the list splitter's output format:
/// UTF-16LE, byte-order mark, "digest path" with backslashes, CR LF.
class DriveSet {
 public:
  explicit DriveSet(fs::path root) : root_(std::move(root)) {}

  /// `relative` uses '/' between names, as the Linux folder does.
  DriveSet& Add(const std::string& relative, std::string_view content);
  const fs::path& root() const { return root_; }
  fs::path PathOf(const std::string& relative) const { return root_ / relative; }
  /// The list lines in UTF-8, "digest path\r\n" each.
  std::string ListText() const;
  /// Writes the list in the splitter's format.
  void WriteList(const fs::path& listPath) const;

 private:
  fs::path root_;
  std::vector<std::pair<std::string, std::string>> lines_;  // path with backslashes, digest
};

/// UTF-16LE with mark from UTF-8 text (test lists are written as UTF-8 literals).
std::string Utf16LeFromUtf8(std::string_view utf8);

struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

/// Runs `program` with `args` in `folder` and waits for it.
ProgramRun RunProgram(const fs::path& program, const std::vector<std::string>& args,
                      const fs::path& folder);

}  // namespace kestrune::sabrel::testing
