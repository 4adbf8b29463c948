#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrune::sabrel {

/// The values the wizard passes, as UTF-8 text (the Windows entry converts its wide
/// arguments first).
struct Options {
  std::string listPath;   ///< MD5 list, relative to the working folder or absolute
  std::string drive;      ///< "E:" style drive, or a folder that stands for the drive root
  std::string errorPath;  ///< error file, relative to the working folder or absolute
  std::string progressPath;  ///< progress file, as errorPath; empty: none is kept
};

/// Accepts exactly `-c LIST -d DRIVE -e ERRORFILE`, and optionally `-p PROGRESSFILE`, in any
/// order, each option once and each with a non-empty value. Anything else (unknown or repeated options, a missing value, stray
/// arguments, a help request) gives no options, so the caller prints the usage text.
/// `args` excludes the program name.
[[nodiscard]] std::optional<Options> ParseCommandLine(std::span<const std::string> args);

/// The usage text, with the exit codes; ends with a line feed.
std::string_view UsageText();

}  // namespace kestrune::sabrel
