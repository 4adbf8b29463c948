#pragma once

#include <optional>
#include <string_view>

namespace kestrune::harlune {

/// The key of a path field: the whole field must match the ECMAScript regular expression
/// "Media.\d\\([^\n]+)\n", case-sensitively, and the key is the captured group (the path of
/// the file below the root of its medium). Nothing when the field does not match.
///
/// Matched by hand, because std::regex is far too slow for lists of 100,000 lines. The rules
/// it must keep: `.` is any code unit but a line terminator (LF, CR, U+2028, U+2029), `\d` is
/// an ASCII digit, `[^\n]` is anything but LF (a CR included).
[[nodiscard]] std::optional<std::u16string_view> MatchPathField(std::u16string_view field);

/// Whether a path field begins with its medium folder, the part of `MatchPathField`'s pattern
/// before the path: "Media", one unit but a line terminator, an ASCII digit and a backslash.
/// A field without one ("Meida01\...", "Media1\...") names a file the list cannot describe.
[[nodiscard]] bool StartsWithMediumFolder(std::u16string_view field);

/// The three kinds of index file that describe the parts of the recovery image.
enum class IndexKind {
  kInstall,  ///< "media\\(\d)_(\d)_install.txt": an install part when there are data parts
  kData,     ///< "media\\(\d)_(\d)_data.txt": a data part
  kPlain,    ///< "media\\(\d)_(\d).txt": an install part when there are no data parts
};

/// X, the number of parts, of an index key of the given kind (the whole key matched against
/// the kind's regular expression above, with the same rules for `.` and `\d` as
/// `MatchPathField`); nothing when the key is not one.
[[nodiscard]] std::optional<int> MatchIndexKey(std::u16string_view key, IndexKind kind);

}  // namespace kestrune::harlune
