#pragma once

namespace kestrune::harlune {

/// The program's exit codes. They are the Windows error numbers of the same meaning, so a
/// caller can report them with the system's own message texts.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFileNotFound = 2;       ///< ERROR_FILE_NOT_FOUND
inline constexpr int kExitAccessDenied = 5;       ///< ERROR_ACCESS_DENIED
inline constexpr int kExitBadFormat = 11;         ///< ERROR_BAD_FORMAT
inline constexpr int kExitInvalidParameter = 87;  ///< ERROR_INVALID_PARAMETER

}  // namespace kestrune::harlune
