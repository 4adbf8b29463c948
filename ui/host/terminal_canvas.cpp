#include "ui/host/terminal_canvas.h"

#include <algorithm>

#include "ui/host/terminal_text.h"

namespace kestrune::ui::host {

Canvas::Canvas(int rows, int columns)
    : rows_(std::max(rows, 0)),
      columns_(std::max(columns, 0)),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(columns_)) {}

bool Canvas::Inside(int row, int column) const {
  return row >= 0 && row < rows_ && column >= 0 && column < columns_;
}

Cell& Canvas::Mutable(int row, int column) {
  return cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) +
                static_cast<size_t>(column)];
}

const Cell& Canvas::At(int row, int column) const {
  static const Cell kOutside;
  if (!Inside(row, column)) return kOutside;
  return cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) +
                static_cast<size_t>(column)];
}

void Canvas::Split(int row, int column) {
  Cell& cell = Mutable(row, column);
  if (cell.continued && column > 0) {
    Mutable(row, column - 1) = Cell{L' ', Mutable(row, column - 1).style, false};
  } else if (CellWidth(cell.ch) == 2 && column + 1 < columns_) {
    Mutable(row, column + 1) = Cell{L' ', cell.style, false};
  }
  cell.continued = false;
}

int Canvas::Put(int row, int column, std::wstring_view text, Style style, int maxWidth) {
  if (row < 0 || row >= rows_) return 0;
  const int limit = maxWidth < 0 ? columns_ : std::min(columns_, column + maxWidth);
  int at = column;
  for (const wchar_t c : text) {
    if (c == L'\n') break;
    if (c == L'\r') continue;
    const int width = CellWidth(c);
    if (width == 0) continue;
    if (at + width > limit) {
      // A wide character that does not fit leaves a blank where its first half would be.
      if (width == 2 && at < limit && Inside(row, at)) {
        Split(row, at);
        Mutable(row, at) = Cell{L' ', style, false};
        ++at;
      }
      break;
    }
    if (at >= 0) {
      Split(row, at);
      if (width == 2) Split(row, at + 1);
      Mutable(row, at) = Cell{c == L'\t' ? L' ' : c, style, false};
      if (width == 2) Mutable(row, at + 1) = Cell{L' ', style, true};
    }
    at += width;
  }
  return at - column;
}

void Canvas::Fill(int row, int column, int height, int width, wchar_t c, Style style) {
  for (int r = std::max(row, 0); r < std::min(row + height, rows_); ++r) {
    for (int col = std::max(column, 0); col < std::min(column + width, columns_); ++col) {
      Split(r, col);
      Mutable(r, col) = Cell{c, style, false};
    }
  }
}

void Canvas::Restyle(int row, int column, int height, int width, Style style) {
  for (int r = std::max(row, 0); r < std::min(row + height, rows_); ++r) {
    for (int col = std::max(column, 0); col < std::min(column + width, columns_); ++col) {
      Mutable(r, col).style = style;
    }
  }
}

std::wstring Canvas::RowText(int row) const {
  std::wstring text;
  if (row < 0 || row >= rows_) return text;
  for (int col = 0; col < columns_; ++col) {
    const Cell& cell = At(row, col);
    if (!cell.continued) text += cell.ch;
  }
  return text;
}

std::wstring Canvas::Text() const {
  std::wstring text;
  for (int row = 0; row < rows_; ++row) text += RowText(row) + L"\n";
  return text;
}

}  // namespace kestrune::ui::host
