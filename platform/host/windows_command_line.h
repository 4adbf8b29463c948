#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform::host {

/// Splits a parameter string (the part of a Windows command line after the program name) into
/// arguments by the rules of the Windows C runtime and CommandLineToArgvW:
/// - spaces and tabs outside quotes separate arguments;
/// - a double quote starts or ends a quoted part; inside one, two double quotes give one
///   literal quote;
/// - 2n backslashes before a quote give n backslashes and the quote acts as above;
///   2n+1 backslashes before a quote give n backslashes and a literal quote;
/// - backslashes not followed by a quote are literal.
std::vector<std::wstring> SplitWindowsParameters(std::wstring_view parameters);

}  // namespace kestrune::platform::host
