#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::harlune {

/// The longest line the list format allows, in UTF-16 code units, its line feed included
/// (a code point above U+FFFF counts as two). The limit is that of the Windows build's read
/// buffer, so it is counted in UTF-16 on every platform.
inline constexpr size_t kMaxLineLength = 295;

/// The text of an input list, read as a Unicode text file: a UTF-16LE byte-order mark or no
/// mark means UTF-16LE, a UTF-8 mark means UTF-8; the mark is not part of the text. CR LF is
/// read as LF; a CR anywhere else stays.
///
/// Returns nothing for a list that starts with the UTF-16 big-endian mark: such a file cannot
/// be opened as Unicode text. A last odd byte of a UTF-16 list is not a character and is
/// dropped; in a UTF-8 list every byte that does not start a well-formed sequence reads as
/// U+FFFD.
[[nodiscard]] std::optional<std::u16string> DecodeListText(std::string_view bytes);

/// The lines of a decoded list, in order, each with its line feed (the last line may lack
/// one). Lines outside the format are passed over whole: a line longer than
/// `kMaxLineLength` (it is not cut into pieces that would read as lines of their own), and a
/// line holding U+0000 (the Windows build reads lines as C strings, so such a line would end
/// before its line feed and could never hold a path field).
class ListLines {
 public:
  explicit ListLines(std::u16string_view text) : rest_(text) {}

  /// The next line inside the format; false at the end of the text.
  [[nodiscard]] bool Next(std::u16string_view& line);

 private:
  std::u16string_view rest_;
};

}  // namespace kestrune::harlune
