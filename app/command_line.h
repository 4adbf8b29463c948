#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_context.h"

namespace kestrune {

/// The way the program runs, chosen by the first argument.
enum class LaunchMode {
  kNone,      ///< no valid mode: hand over to the downloader
  kWizard,    ///< "/Mode:Fernlow"
  kSevenZip,  ///< "/Mode:SevenZip"
};

/// Fills `context` from the split command line (`arguments[0]` is the program and is
/// ignored) and returns the mode. `context` must already be zero-filled with its defaults.
///
/// Values that do not fit their field: a label over 99 characters is shortened (it is only
/// shown); a password over 63 characters or a source path over 259 characters is ignored,
/// because a shortened one would name another password or file. A password or source path
/// that holds a double quote is ignored as well: it could not be passed inside the quoted
/// 7-Zip parameters without changing their meaning.
LaunchMode ParseCommandLine(const std::vector<std::wstring>& arguments, RunContext& context);

/// Reads an unsigned decimal number as the C runtime's "%u" conversion does: leading white
/// space, an optional sign, at least one digit; the rest of the text is ignored. A negative
/// number wraps modulo 2^32, a number beyond 64 bits saturates before it is cut to 32.
[[nodiscard]] std::optional<uint32_t> ScanUnsigned(std::wstring_view text);

}  // namespace kestrune
