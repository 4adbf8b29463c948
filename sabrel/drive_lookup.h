#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::sabrel {

enum class LookupOutcome {
  kFound,
  kMissing,
  kAmbiguous,     ///< several names differ from the listed one only in letter case
  kOutsideDrive,  ///< the name exists, but a link on the drive leads outside its root
};

struct Located {
  LookupOutcome outcome = LookupOutcome::kMissing;
  std::filesystem::path path;  ///< canonical path of the file when found
  std::uint64_t size = 0;      ///< size when it is a regular file, else 0
};

/// Finds listed files below a drive root. The listed spelling is tried first; when it does
/// not exist, each name is looked up without regard to ASCII letter case, as FAT32 would
/// (a Linux folder stands for the drive in the host build, and Linux names are
/// case-sensitive). Two names that match only that way make the lookup ambiguous rather
/// than a guess. A found file must lie below the drive root after all links are resolved.
class DriveLookup {
 public:
  explicit DriveLookup(std::filesystem::path root);

  /// Whether the root exists as a folder.
  [[nodiscard]] bool RootExists() const { return !canonicalRoot_.empty(); }

  Located Find(const std::vector<std::string>& components) const;

 private:
  std::filesystem::path root_;
  std::filesystem::path canonicalRoot_;
};

}  // namespace kestrune::sabrel
