#pragma once

#include <ostream>
#include <span>
#include <string>

namespace kestrune::sabrel {

/// The program: parses the command line, runs the check, writes the error file when
/// anything failed (and removes a stale one when everything matched, so that its presence
/// always belongs to the last run), prints the failures to `err` and a summary to `out`.
/// `args` are UTF-8 and exclude the program name. Returns the exit code.
[[nodiscard]] int RunSabrel(std::span<const std::string> args, std::ostream& out,
                            std::ostream& err);

}  // namespace kestrune::sabrel
