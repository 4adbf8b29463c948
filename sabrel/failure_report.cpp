#include "sabrel/failure_report.h"

#include <fstream>

namespace kestrune::sabrel {

std::string FormatFailure(const Failure& failure) {
  return failure.subject.empty() ? failure.detail : failure.subject + ": " + failure.detail;
}

bool WriteErrorFile(const std::filesystem::path& path, std::span<const Failure> failures) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    return false;
  }
  out << "\xEF\xBB\xBF";
  for (const Failure& failure : failures) {
    out << FormatFailure(failure) << "\r\n";
  }
  out.close();
  return !out.fail();
}

}  // namespace kestrune::sabrel
