#pragma once

namespace kestrune::sabrel {

/// Exit codes of Sabrel. Only 0 says that the drive is good; callers that need a verdict
/// alone treat every other code as a failed check. When files fail in different ways, the
/// program exits with the largest of their codes (mismatch < missing < unreadable); a list
/// problem stops the check before any file is read.
enum class ExitCode : int {
  kAllMatch = 0,      ///< every listed file exists below the drive and matches its digest
  kMismatch = 1,      ///< a listed file's content differs from its digest
  kMissing = 2,       ///< a listed file is not on the drive
  kUnreadable = 3,    ///< a listed file cannot be opened or read, is no regular file, or a
                      ///< link on the drive leads outside it
  kBadList = 4,       ///< the list cannot be read, names no file, or has a malformed line
                      ///< (bad digest, bad encoding, a path that would leave the drive root)
  kUsage = 5,         ///< the command line is not `-c LIST -d DRIVE -e ERRORFILE`
  kInternalError = 6  ///< MD5 unavailable or resources exhausted: nothing could be verified
};

constexpr int ToInt(ExitCode code) { return static_cast<int>(code); }

}  // namespace kestrune::sabrel
