#include "sabrel/sabrel_app.h"

#include <system_error>

#include "sabrel/check_drive.h"
#include "sabrel/command_line.h"
#include "sabrel/drive_root.h"
#include "sabrel/exit_codes.h"
#include "sabrel/progress_file.h"
#include "sabrel/text_helpers.h"

namespace kestrune::sabrel {

int RunSabrel(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const auto options = ParseCommandLine(args);
  if (!options) {
    err << UsageText();
    return ToInt(ExitCode::kUsage);
  }
  CheckRequest request;
  request.listPath = PathFromUtf8(options->listPath);
  request.listName = options->listPath;
  request.driveRoot = DriveRoot(options->drive);
  request.driveName = options->drive;
  CheckCounters counters;
  request.counters = &counters;
  CheckResult result;
  if (options->progressPath.empty()) {
    result = CheckDrive(request);
  } else {
    const ProgressFile progress(PathFromUtf8(options->progressPath), counters);
    result = CheckDrive(request);
  }

  const std::filesystem::path errorPath = PathFromUtf8(options->errorPath);
  if (result.failures.empty()) {
    std::error_code ignored;
    std::filesystem::remove(errorPath, ignored);
    out << "Sabrel: all " << result.listedFiles << " listed files match.\n";
    return ToInt(ExitCode::kAllMatch);
  }
  for (const Failure& failure : result.failures) {
    err << FormatFailure(failure) << '\n';
  }
  if (!WriteErrorFile(errorPath, result.failures)) {
    err << "Sabrel: cannot write the error file " << options->errorPath << '\n';
  }
  out << "Sabrel: the check failed (" << result.failures.size() << " failures, exit code "
      << ToInt(result.code) << "); see " << options->errorPath << ".\n";
  return ToInt(result.code);
}

}  // namespace kestrune::sabrel
