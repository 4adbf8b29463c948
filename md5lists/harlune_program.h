#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::harlune {

/// One command-line argument: its text, and the same argument as a native file name (on
/// Linux the bytes as given, which need not be UTF-8).
struct ProgramArgument {
  std::u16string text;
  std::filesystem::path native;
};

/// What the program leaves behind besides its files. Line ends are "\n"; the entry point
/// writes them as its platform's text streams do.
struct ProgramResult {
  int exitCode = 0;
  std::u16string standardOutput;
  std::u16string standardError;
};

/// The parts per medium of a mode argument: "SL", "DL" or "USB" in any letter case (ASCII
/// letters only, as the C library's case-blind comparison in the "C" locale); nothing for
/// any other text.
[[nodiscard]] std::optional<int> PartsPerDiscOfMode(std::u16string_view mode);

/// The whole program: `arguments` are those after the program name ("<mode> <list path>",
/// further ones ignored). The usage text goes to standard output; the error texts of a
/// failed conversion go to standard error, all at once and only for a non-zero exit code.
[[nodiscard]] ProgramResult RunHarlune(const std::vector<ProgramArgument>& arguments);

}  // namespace kestrune::harlune
