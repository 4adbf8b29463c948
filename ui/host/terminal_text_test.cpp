#include "ui/host/terminal_text.h"

#include <gtest/gtest.h>

#include <clocale>

#include "ui/host/terminal_canvas.h"

namespace kestrune::ui::host {
namespace {

// Widths follow the C library, as ncurses does: the tests need a UTF-8 character type.
class TerminalTextTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
};

TEST_F(TerminalTextTest, WideCharactersTakeTwoCellsAndControlsNone) {
  EXPECT_EQ(TextWidth(L"Disc"), 4);
  EXPECT_EQ(TextWidth(L"ディスク"), 8);
  EXPECT_EQ(TextWidth(L"・Keep"), 6);
  EXPECT_EQ(TextWidth(L"（2 層）"), 8);
  EXPECT_EQ(TextWidth(L"a\u0301"), 1);  // a combining accent adds nothing
  EXPECT_EQ(TextWidth(L"\r\n"), 0);
}

TEST_F(TerminalTextTest, EnglishWrapsBetweenWordsAndKeepsItsOwnLineBreaks) {
  EXPECT_EQ(WrapText(L"Disc write failed.\nTry creating recovery disc #2 again?", 20),
            (std::vector<std::wstring>{L"Disc write failed.", L"Try creating", L"recovery disc #2",
                                       L"again?"}));
  // An empty line of the text stays; blanks at a break go.
  EXPECT_EQ(WrapText(L"One.\r\n\r\nTwo   three", 6),
            (std::vector<std::wstring>{L"One.", L"", L"Two", L"three"}));
  EXPECT_EQ(WrapText(L"", 10), (std::vector<std::wstring>{L""}));
  // A word longer than a line is cut where it overflows.
  EXPECT_EQ(WrapText(L"abcdefghij xy", 4),
            (std::vector<std::wstring>{L"abcd", L"efgh", L"ij", L"xy"}));
}

TEST_F(TerminalTextTest, JapaneseBreaksBetweenCharactersWithinTheWidth) {
  const std::wstring text =
      L"リカバリーディスクの作成に使用しないメディア（SD メモリーカードなど）は、すべて取り外して"
      L"ください。";
  for (int width = 9; width <= 40; ++width) {
    std::wstring joined;
    for (const std::wstring& line : WrapText(text, width)) {
      EXPECT_LE(TextWidth(line), width) << "width " << width << ": " << line.size();
      ASSERT_FALSE(line.empty());
      // Closing punctuation never starts a line, an opening bracket never ends one.
      EXPECT_EQ(std::wstring(L"、。）").find(line.front()), std::wstring::npos) << width;
      EXPECT_NE(line.back(), L'（') << width;
      joined += line;
    }
    // Nothing is lost but the blanks at breaks.
    std::wstring expected;
    for (const wchar_t c : text) expected += c;
    std::erase(expected, L' ');
    std::erase(joined, L' ');
    EXPECT_EQ(joined, expected) << width;
  }
  // Latin words inside Japanese text stay whole.
  EXPECT_EQ(
      WrapText(L"このアプリケーションはDVD-R DLに対応しています。", 24),
      (std::vector<std::wstring>{L"このアプリケーションは", L"DVD-R DLに対応していま", L"す。"}));
}

TEST_F(TerminalTextTest, ABulletedParagraphHangsItsFollowingLines) {
  EXPECT_EQ(
      WrapText(L"・Keep the AC adaptor connected while writing.", 20),
      (std::vector<std::wstring>{L"・Keep the AC", L"  adaptor connected", L"  while writing."}));
  EXPECT_EQ(WrapText(L"- Do not remove disc.", 12),
            (std::vector<std::wstring>{L"- Do not", L"  remove", L"  disc."}));
}

TEST_F(TerminalTextTest, FitTextNeverSplitsAWideCharacter) {
  EXPECT_EQ(FitText(L"状態です", 5), L"状態");
  EXPECT_EQ(FitText(L"Label\nnext", 20), L"Label next");
  EXPECT_EQ(FitText(L"abc", 0), L"");
}

TEST_F(TerminalTextTest, AsciiTextKeepsBulletsReadable) {
  EXPECT_EQ(AsciiText(L"・Keep in a safe place."), L"- Keep in a safe place.");
  EXPECT_EQ(AsciiText(L"Disc 1…"), L"Disc 1...");
  EXPECT_EQ(AsciiText(L"完了"), L"??");
  for (const wchar_t c : AsciiText(L"状態（2 層）・“x”")) EXPECT_LT(c, 0x80);
}

TEST_F(TerminalTextTest, CanvasKeepsWideCharactersWhole) {
  Canvas canvas(2, 6);
  EXPECT_EQ(canvas.Put(0, 0, L"状態完了", {}), 6);
  EXPECT_EQ(canvas.RowText(0), L"状態完");
  EXPECT_TRUE(canvas.At(0, 1).continued);
  // A wide character that would hang over the edge leaves a blank instead.
  EXPECT_EQ(canvas.Put(1, 0, L"abcde完", {}), 6);
  EXPECT_EQ(canvas.RowText(1), L"abcde ");
  // Overwriting either half of a wide character clears the other half.
  canvas.Put(0, 1, L"x", {});
  EXPECT_EQ(canvas.RowText(0), L" x態完");
  canvas.Put(0, 2, L"y", {});
  EXPECT_EQ(canvas.RowText(0), L" xy 完");
  // A write stops at its width and at a line break.
  Canvas small(1, 10);
  EXPECT_EQ(small.Put(0, 2, L"ab\ncd", {}), 2);
  EXPECT_EQ(small.Put(0, 5, L"完了", {}, 3), 3);
  EXPECT_EQ(small.RowText(0), L"  ab 完   ");
}

}  // namespace
}  // namespace kestrune::ui::host
