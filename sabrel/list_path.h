#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::sabrel {

/// A listed path split into its names, or why it was refused (`problem` non-empty).
struct ListedPath {
  std::vector<std::string> components;
  std::string_view problem;
};

/// Splits a path from the list (relative to the drive root, names separated by backslashes;
/// a forward slash counts as a separator too) into names that cannot leave the drive root.
/// Refused: an empty path; a leading separator (absolute or UNC path); any colon (drive
/// prefix or stream name); empty, "." and ".." names; control characters; characters and
/// names that a FAT32 drive cannot hold (< > " | ? *, a name ending in a dot or a space,
/// device names such as CON or LPT1). Refusing these on every platform keeps the Linux and
/// Windows builds to one verdict for the same list.
ListedPath SplitListedPath(std::string_view path);

}  // namespace kestrune::sabrel
