#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::ui::host {

/// What a cell looks like beyond its character. The terminal maps the roles to colours when
/// it has them, and to attributes (bold, dim) when it does not.
enum class Tone : uint8_t {
  kNormal,
  kDim,      ///< disabled controls, hints
  kFrame,    ///< frames and their captions
  kTitle,    ///< the wizard's caption, list headings
  kGood,     ///< a completed task, the bar's filled part
  kBusy,     ///< a running task
  kWarning,  ///< a failed task, warning boxes
  kBox,      ///< inside a message box or dialog
};

struct Style {
  Tone tone = Tone::kNormal;
  bool reverse = false;  ///< the focused control
  bool bold = false;

  bool operator==(const Style&) const = default;
};

/// One screen cell. A wide character fills its cell and marks the next one `continued`.
struct Cell {
  wchar_t ch = L' ';
  Style style;
  bool continued = false;

  bool operator==(const Cell&) const = default;
};

/// A grid of cells the screen is painted on before it goes to the terminal, so that painting
/// can be tested without one. Writes are clipped to the grid; a wide character never hangs
/// over the right edge or the end of a write, and overwriting half of one clears the other.
class Canvas {
 public:
  Canvas(int rows, int columns);

  int rows() const { return rows_; }
  int columns() const { return columns_; }

  /// Writes `text` from (row, column), at most `maxWidth` cells (-1: to the right edge).
  /// Line breaks end the write. The cells written.
  int Put(int row, int column, std::wstring_view text, Style style, int maxWidth = -1);
  /// Fills a rectangle with `c` (a narrow character).
  void Fill(int row, int column, int height, int width, wchar_t c, Style style);
  /// Changes the style of the cells of a rectangle, keeping their characters.
  void Restyle(int row, int column, int height, int width, Style style);

  const Cell& At(int row, int column) const;
  /// The characters of a row as the terminal shows them (wide characters once).
  std::wstring RowText(int row) const;
  /// Every row, each ended by "\n".
  std::wstring Text() const;

 private:
  bool Inside(int row, int column) const;
  Cell& Mutable(int row, int column);
  /// Makes a cell writable alone: clears the other half of a wide character it is part of.
  void Split(int row, int column);

  int rows_;
  int columns_;
  std::vector<Cell> cells_;
};

}  // namespace kestrune::ui::host
