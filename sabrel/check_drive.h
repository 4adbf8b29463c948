#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "sabrel/exit_codes.h"
#include "sabrel/failure_report.h"
#include "sabrel/progress_file.h"

namespace kestrune::sabrel {

struct CheckRequest {
  std::filesystem::path listPath;
  std::string listName;  ///< the list as the command line names it, for the report
  std::filesystem::path driveRoot;
  std::string driveName;     ///< the drive as the command line names it, for the report
  unsigned workerCount = 0;  ///< 0: one per core
  /// Told the bytes to read once the files are found, and every byte as it is read.
  CheckCounters* counters = nullptr;
};

struct CheckResult {
  ExitCode code = ExitCode::kAllMatch;
  std::size_t listedFiles = 0;
  std::vector<Failure> failures;  ///< in list order
};

/// The whole check, without output: reads and parses the list, finds every listed file
/// below the drive root, digests each distinct file once (a file listed twice is compared
/// with both digests) and compares. A list with any malformed line, or with no entry, is
/// rejected before a file is read: a partial check of a list that cannot be trusted would
/// prove nothing. `code` is kAllMatch exactly when `failures` is empty.
CheckResult CheckDrive(const CheckRequest& request);

}  // namespace kestrune::sabrel
