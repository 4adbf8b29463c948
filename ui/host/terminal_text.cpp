#include "ui/host/terminal_text.h"

#include <cwchar>

namespace kestrune::ui::host {
namespace {

/// Characters that must not begin a line (closing brackets and punctuation, prolonged sound
/// mark, small kana are left free: a break before them is merely unusual, not wrong).
bool NoLineStart(wchar_t c) {
  static constexpr std::wstring_view kChars =
      L"、。，．・：；？！）」』】〕〉》｝］ー～…‥.,:;?!)]}%％";
  return kChars.find(c) != std::wstring_view::npos;
}

/// Characters that must not end a line.
bool NoLineEnd(wchar_t c) {
  static constexpr std::wstring_view kChars = L"（「『【〔〈《｛［([{";
  return kChars.find(c) != std::wstring_view::npos;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\u3000'; }

/// One unbreakable piece of a paragraph: a word, a wide character with the punctuation that
/// clings to it, or a run of blanks.
struct Piece {
  std::wstring text;
  int width = 0;
  bool blank = false;
  bool wide = false;  ///< ends in a wide character: a break may follow it
};

std::vector<Piece> SplitPieces(std::wstring_view paragraph) {
  std::vector<Piece> pieces;
  for (const wchar_t c : paragraph) {
    const int width = CellWidth(c);
    const bool blank = IsBlank(c);
    const bool wide = width == 2 && !blank;
    Piece* last = pieces.empty() ? nullptr : &pieces.back();
    bool join = false;
    if (last != nullptr && blank) {
      join = last->blank;
    } else if (last != nullptr && !last->blank) {
      // Inside a word; before punctuation that cannot start a line; after a bracket that
      // cannot end one. A wide character otherwise starts a piece of its own, and a word
      // that follows a wide character does too.
      join = (!wide && !last->wide) || NoLineStart(c) || NoLineEnd(last->text.back()) || width == 0;
    }
    if (!join) {
      pieces.push_back(Piece{});
      last = &pieces.back();
      last->blank = blank;
    }
    last->text += blank ? L' ' : c;
    last->width += blank ? 1 : width;
    if (!blank && width > 0) last->wide = wide;
  }
  return pieces;
}

/// Cells of a list bullet that starts `paragraph` ("・", "• ", "- "), 0 for none: the lines
/// after the first are set in by as much, so that the bullet stands out.
int BulletWidth(std::wstring_view paragraph) {
  if (paragraph.starts_with(L"・")) return CellWidth(L'・');
  if (paragraph.starts_with(L"• ") || paragraph.starts_with(L"- ")) return 2;
  return 0;
}

void WrapParagraph(std::wstring_view paragraph, int width, std::vector<std::wstring>& lines) {
  const int hang = BulletWidth(paragraph) * 2 <= width ? BulletWidth(paragraph) : 0;
  std::wstring line;
  int lineWidth = 0;
  int start = 0;  // cells of the hanging indent the line begins with
  int pendingBlanks = 0;
  auto flush = [&] {
    lines.push_back(line);
    line.assign(static_cast<size_t>(hang), L' ');
    lineWidth = start = hang;
    pendingBlanks = 0;
  };
  for (const Piece& piece : SplitPieces(paragraph)) {
    if (piece.blank) {
      if (lineWidth > start) pendingBlanks += piece.width;
      continue;
    }
    if (lineWidth > start && lineWidth + pendingBlanks + piece.width > width) flush();
    if (lineWidth > start) {
      line.append(static_cast<size_t>(pendingBlanks), L' ');
      lineWidth += pendingBlanks;
    }
    pendingBlanks = 0;
    if (piece.width <= width - lineWidth) {
      line += piece.text;
      lineWidth += piece.width;
      continue;
    }
    // Longer than a whole line: cut it where it overflows.
    for (const wchar_t c : piece.text) {
      const int cells = CellWidth(c);
      if (lineWidth + cells > width && lineWidth > start) flush();
      line += c;
      lineWidth += cells;
    }
  }
  lines.push_back(line);
}

}  // namespace

int CellWidth(wchar_t c) {
  if (c == L'\t') return 1;
  if (c < 0x20 || (c >= 0x7f && c < 0xa0)) return 0;
  const int width = ::wcwidth(c);
  return width < 0 ? 1 : width;
}

int TextWidth(std::wstring_view text) {
  int width = 0;
  for (const wchar_t c : text) width += CellWidth(c);
  return width;
}

std::vector<std::wstring> WrapText(std::wstring_view text, int width) {
  std::vector<std::wstring> lines;
  if (width < 2) width = 2;  // room for one wide character
  size_t start = 0;
  for (;;) {
    size_t end = text.find(L'\n', start);
    std::wstring_view paragraph =
        text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start);
    if (!paragraph.empty() && paragraph.back() == L'\r') paragraph.remove_suffix(1);
    WrapParagraph(paragraph, width, lines);
    if (end == std::wstring_view::npos) break;
    start = end + 1;
  }
  return lines;
}

std::wstring FitText(std::wstring_view text, int width) {
  std::wstring fitted;
  int used = 0;
  for (wchar_t c : text) {
    if (c == L'\r') continue;
    if (c == L'\n' || c == L'\t') c = L' ';
    const int cells = CellWidth(c);
    if (used + cells > width) break;
    fitted += c;
    used += cells;
  }
  return fitted;
}

std::wstring AsciiText(std::wstring_view text) {
  std::wstring ascii;
  for (const wchar_t c : text) {
    if (c < 0x80) {
      ascii += c;
      continue;
    }
    switch (c) {
      case L'・':
        ascii += L"- ";
        break;
      case L'…':
        ascii += L"...";
        break;
      case L'\u2018':
      case L'\u2019':
        ascii += L'\'';
        break;
      case L'\u201c':
      case L'\u201d':
        ascii += L'"';
        break;
      case L'\u3000':
        ascii += L' ';
        break;
      default:
        if (CellWidth(c) > 0) ascii += L'?';
        break;
    }
  }
  return ascii;
}

}  // namespace kestrune::ui::host
