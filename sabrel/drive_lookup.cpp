#include "sabrel/drive_lookup.h"

#include <algorithm>
#include <iterator>
#include <system_error>

#include "sabrel/text_helpers.h"

namespace kestrune::sabrel {
namespace fs = std::filesystem;
namespace {

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::status(path, ec));
}

/// The one entry of `folder` whose name equals `name` without regard to ASCII case.
LookupOutcome FindFolded(const fs::path& folder, const std::string& name, fs::path& found) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  int matches = 0;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (EqualsIgnoringAsciiCase(Utf8FromPath(it->path().filename()), name)) {
      found = it->path();
      ++matches;
    }
  }
  if (matches == 0) return LookupOutcome::kMissing;
  return matches == 1 ? LookupOutcome::kFound : LookupOutcome::kAmbiguous;
}

bool IsBelow(const fs::path& path, const fs::path& root) {
  const auto [r, p] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  // A root written with a trailing separator ends in an empty name.
  return r == root.end() || (r->empty() && std::next(r) == root.end());
}

}  // namespace

DriveLookup::DriveLookup(fs::path root) : root_(std::move(root)) {
  std::error_code ec;
  if (fs::is_directory(fs::status(root_, ec))) {
    canonicalRoot_ = fs::canonical(root_, ec);
    if (ec) canonicalRoot_.clear();
  }
}

Located DriveLookup::Find(const std::vector<std::string>& components) const {
  Located result;
  if (!RootExists()) {
    return result;
  }
  fs::path candidate = root_;
  for (const std::string& name : components) {
    candidate /= PathFromUtf8(name);
  }
  if (!Exists(candidate)) {
    candidate = root_;
    for (const std::string& name : components) {
      fs::path next = candidate / PathFromUtf8(name);
      if (!Exists(next)) {
        const LookupOutcome outcome = FindFolded(candidate, name, next);
        if (outcome != LookupOutcome::kFound) {
          result.outcome = outcome;
          return result;
        }
      }
      candidate = std::move(next);
    }
  }
  std::error_code ec;
  fs::path canonical = fs::canonical(candidate, ec);
  if (ec) {
    return result;
  }
  if (!IsBelow(canonical, canonicalRoot_)) {
    result.outcome = LookupOutcome::kOutsideDrive;
    return result;
  }
  result.outcome = LookupOutcome::kFound;
  if (fs::is_regular_file(fs::status(canonical, ec))) {
    result.size = fs::file_size(canonical, ec);
    if (ec) result.size = 0;
  }
  result.path = std::move(canonical);
  return result;
}

}  // namespace kestrune::sabrel
