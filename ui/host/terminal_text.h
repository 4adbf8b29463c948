#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text measured and laid out in terminal cells. Widths come from the C library's wcwidth, as
// ncurses itself measures them, so the process's LC_CTYPE must be a UTF-8 locale for text
// beyond ASCII (the terminal front end sets it up, or falls back to ASCII).

namespace kestrune::ui::host {

/// Cells one character takes: 2 for wide (East Asian) characters, 0 for combining marks and
/// control characters, 1 otherwise.
int CellWidth(wchar_t c);
/// Cells of a whole text (line breaks count 0).
int TextWidth(std::wstring_view text);

/// Splits `text` into lines of at most `width` cells: at its own line breaks ("\n", "\r\n"),
/// and where a line would overflow, between words or between two wide characters, as
/// Japanese text breaks. Closing punctuation never starts a line and opening brackets never
/// end one; blanks at a break disappear; a word longer than a line is cut. An empty text is
/// one empty line; an empty line of the text stays.
std::vector<std::wstring> WrapText(std::wstring_view text, int width);

/// The longest start of `text` that fits `width` cells (a wide character that would straddle
/// the end is left out). Line breaks become blanks.
std::wstring FitText(std::wstring_view text, int width);

/// `text` for a terminal that shows ASCII only: the typographic characters the wizard's texts
/// use become their ASCII look-alikes, anything else outside ASCII becomes "?".
std::wstring AsciiText(std::wstring_view text);

}  // namespace kestrune::ui::host
