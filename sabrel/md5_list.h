#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "sabrel/md5.h"

namespace kestrune::sabrel {

/// One file the list names.
struct ListEntry {
  std::size_t line = 0;  ///< 1-based line number in the list
  Md5Digest digest{};
  std::string digestText;               ///< as written in the list
  std::string pathText;                 ///< as written in the list (UTF-8)
  std::vector<std::string> components;  ///< the path's names, safe below the drive root
};

/// A line that is not a list entry.
struct ListProblem {
  std::size_t line = 0;
  std::string reason;
  std::string text;  ///< the line as decoded, shortened for the report
};

struct Md5List {
  std::vector<ListEntry> entries;
  std::vector<ListProblem> problems;
};

/// Parses a per-medium MD5 list: per line a digest of 32 hexadecimal digits, blanks (the
/// list splitter writes exactly one space), and a path relative to the drive root. Blanks
/// and CR around a line are ignored, and so are lines that hold nothing else; every other
/// line either becomes an entry or a problem, so that no line is silently skipped.
/// Never throws on any input (the parser is fuzzed).
Md5List ParseMd5List(std::span<const std::byte> bytes);

}  // namespace kestrune::sabrel
