#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "sabrel/exit_codes.h"

namespace kestrune::sabrel {

/// One failed file or list line. `subject` is the path as the list writes it (so the Linux
/// and Windows builds report alike), the list's name with a line number, or empty for a
/// failure that concerns the whole drive.
struct Failure {
  ExitCode kind = ExitCode::kMismatch;
  std::string subject;
  std::string detail;  ///< expected digest and what was found, or why the check failed
};

/// "subject: detail" (or the detail alone), one line of the error file without its line end.
std::string FormatFailure(const Failure& failure);

/// Writes the error file: UTF-8 with a byte-order mark and CR LF line ends, as Windows
/// editors read it, and byte for byte the same from both builds. False when it cannot be
/// written completely.
[[nodiscard]] bool WriteErrorFile(const std::filesystem::path& path,
                                  std::span<const Failure> failures);

}  // namespace kestrune::sabrel
