#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace kestrune::sabrel {

enum class ListEncoding { kUtf16Le, kUtf16Be, kUtf8 };

/// One line of a list as UTF-8, without its line feed. A line whose bytes do not decode
/// (a lone surrogate, invalid UTF-8, a truncated last code unit) is kept with U+FFFD in
/// place of the bad part and `valid` false, so that it can be reported rather than dropped.
struct ListLine {
  std::string text;
  bool valid = true;
};

struct ListText {
  ListEncoding encoding = ListEncoding::kUtf8;
  std::vector<ListLine> lines;
};

/// Decodes a list file. A byte-order mark decides the encoding (UTF-16LE as the list
/// splitter writes it, UTF-16BE, UTF-8); without one, a second byte of zero means UTF-16LE
/// and anything else UTF-8. Lines end at LF; a CR before it stays in the text for the line
/// parser to trim. A last line without LF counts; an empty one after the final LF does not.
ListText DecodeListText(std::span<const std::byte> bytes);

}  // namespace kestrune::sabrel
