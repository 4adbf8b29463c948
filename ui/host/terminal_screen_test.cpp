// The terminal wizard's screens and keys on the real pages, run by the wizard's test harness.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>

#include "text/utf8.h"
#include "ui/host/terminal_front_end.h"
#include "ui/host/terminal_keys.h"
#include "ui/host/terminal_paint.h"
#include "ui/host/terminal_text.h"
#include "wizard/page_drive.h"
#include "wizard/window_messages.h"
#include "wizard/wizard_test_support.h"

namespace kestrune::ui::host {
namespace {

using testing::WizardHarness;

const std::wstring kRecorderE = L"( E:\\) KESTRUNE DVD-RW SIM 24X   ";

class TerminalScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }

  void UseLanguage(Language language) {
    h.toolkit.SetLanguage(language);
    h.wizard.language = language;
    view.language = language;
  }

  /// The screen as the person sees it now.
  Canvas Paint(int rows = 24, int columns = 80) {
    Canvas canvas(rows, columns);
    SyncView(h.toolkit, view);
    PaintScreen(h.toolkit, view, canvas);
    return canvas;
  }

  void Press(KeyCode code, wchar_t character = 0) {
    HandleKey(h.toolkit, view, {code, character});
    h.Pump();
  }
  void Space() { Press(KeyCode::kCharacter, L' '); }

  static bool Shows(const Canvas& canvas, const std::wstring& text) {
    return canvas.Text().find(text) != std::wstring::npos;
  }
  static int RowWith(const Canvas& canvas, const std::wstring& text, int from = 0) {
    for (int row = from; row < canvas.rows(); ++row) {
      if (canvas.RowText(row).find(text) != std::wstring::npos) return row;
    }
    return -1;
  }
  /// Every row between the sheet's top and bottom border ends in its right border: no text
  /// ran over, however wide its characters.
  static void ExpectFramed(const Canvas& canvas) {
    const std::wstring top = canvas.RowText(0);
    const size_t left = top.find(L"┌─ Kestrune");
    ASSERT_NE(left, std::wstring::npos) << Narrow(canvas.Text());
    int right = canvas.columns() - 1;
    while (right > 0 && canvas.At(0, right).ch != L'┐') --right;
    for (int row = 1; row < canvas.rows() - 1; ++row) {
      const wchar_t edge = canvas.At(row, right).ch;
      EXPECT_TRUE(edge == L'│' || edge == L'┤' || edge == L'┘')
          << "row " << row << ": " << Narrow(canvas.RowText(row));
      EXPECT_FALSE(canvas.At(row, right).continued);
      EXPECT_TRUE(canvas.At(row, static_cast<int>(left)).ch != L' ') << "row " << row;
      if (edge == L'┘') break;
    }
  }
  static std::string Narrow(const std::wstring& text) { return text::Utf8FromWide(text); }

  /// To the Drive page with recorder E chosen through the keys: the drive list has the focus
  /// at first, Space opens it, Enter takes the highlighted entry.
  void ChooseRecorderWithKeys() {
    h.devices.recorders = {kRecorderE};
    h.GoToDrivePage();
    Paint();
    ASSERT_EQ(view.focus, CPage_020_Drive::kDriveCombo);
    Space();
    ASSERT_TRUE(view.dropDown);
    const Canvas open = Paint();
    EXPECT_EQ(RowWith(open, kRecorderE), 4) << "the list opens below the drive field";
    Press(KeyCode::kEnter);
    ASSERT_FALSE(view.dropDown);
    ASSERT_EQ(h.Control(106, CPage_020_Drive::kDriveCombo).selection, 0);
  }

  WizardHarness h{2};
  TerminalView view;
};

TEST_F(TerminalScreenTest, StartPageFitsAnEightyColumnTerminal) {
  h.run.estimatedMinutes = 80;
  h.Open();
  const Canvas screen = Paint();
  ExpectFramed(screen);
  EXPECT_EQ(screen.RowText(1),
            L"│ Use the downloaded recovery data to create a recovery disc. (Time required:  │");
  EXPECT_TRUE(Shows(screen, L"┌─ Usage notes ─"));
  // A note that wraps hangs under its bullet.
  const int note = RowWith(screen, L"・Remove all media devices");
  ASSERT_GT(note, 0);
  EXPECT_EQ(screen.RowText(note + 1).substr(0, 8), L"│ │   re");
  EXPECT_TRUE(Shows(screen, L"Insert disc into drive and click Next."));
  // Back is off; Next, the default button, has the focus.
  const std::wstring buttons = screen.RowText(21);
  EXPECT_NE(buttons.find(L"  Back    ▸ Next ◂  [ Cancel ]"), std::wstring::npos) << Narrow(buttons);
  EXPECT_TRUE(Shows(screen, L"Enter: Next"));
}

TEST_F(TerminalScreenTest, JapanesePagesKeepTheirWideTextInsideTheFrame) {
  UseLanguage(Language::kJapanese);
  h.devices.recorders = {kRecorderE};
  h.Open();
  const Canvas start = Paint();
  ExpectFramed(start);
  EXPECT_TRUE(Shows(start, L"ダウンロードしたリカバリーデータを使用して"));
  EXPECT_TRUE(Shows(start, L"[ キャンセル ]"));
  ASSERT_TRUE(h.Next().empty());
  const Canvas info = Paint();
  ExpectFramed(info);
  // The heading of the second column is not cut: the first column gives up what it can spare.
  EXPECT_TRUE(Shows(info, L"必要なディスクの枚数（USB ドライブの容量）"));
  EXPECT_TRUE(Shows(info, L"DVD-R DL（2 層）の場合"));
  ASSERT_TRUE(h.Next().empty());
  ASSERT_TRUE(h.Choose(L'E').empty());
  const Canvas drive = Paint();
  ExpectFramed(drive);
  EXPECT_TRUE(Shows(drive, L"[✔] リカバリーディスク #1 の書き込み"));
  EXPECT_TRUE(Shows(drive, L"(●) DVD-R DL"));
  // Narrower terminals wrap the same texts, still inside the frame.
  for (const int columns : {60, 67, 99, 131}) ExpectFramed(Paint(24, columns));
}

TEST_F(TerminalScreenTest, AsciiTerminalsGetNothingButAscii) {
  view.glyphs = Glyphs::Ascii();
  h.devices.recorders = {kRecorderE};
  h.Open();
  const Canvas start = Paint();
  EXPECT_EQ(start.RowText(0).substr(0, 12), L"+- Kestrune ");
  EXPECT_TRUE(Shows(start, L"- Keep in a safe place."));
  EXPECT_TRUE(Shows(start, L"> Next <"));
  h.Next();
  h.Next();
  ASSERT_TRUE(h.Choose(L'E').empty());
  const Canvas drive = Paint();
  EXPECT_TRUE(Shows(drive, L"[x] Writing recovery disc #1"));
  EXPECT_TRUE(Shows(drive, L"(*) DVD-R DL"));
  for (const Canvas* screen : {&start, &drive}) {
    for (const wchar_t c : screen->Text()) ASSERT_LT(c, 0x80) << Narrow(screen->Text());
  }
}

TEST_F(TerminalScreenTest, ATooSmallTerminalAsksToBeEnlarged) {
  h.Open();
  const Canvas screen = Paint(kMinimumRows - 1, 80);
  EXPECT_TRUE(Shows(screen, L"Please make the terminal window at least 60x18."));
  EXPECT_FALSE(Shows(screen, L"Kestrune"));
}

TEST_F(TerminalScreenTest, KeysChooseADriveAndTickTheDiscs) {
  ChooseRecorderWithKeys();
  EXPECT_TRUE(h.NextEnabled());
  // Tab goes from the drive list to the disc type, then to the disc list.
  Press(KeyCode::kTab);
  EXPECT_EQ(view.focus, CPage_020_Drive::kDvdRadio);
  Press(KeyCode::kTab);
  EXPECT_EQ(view.focus, CPage_020_Drive::kDiscList);
  Press(KeyCode::kDown);
  Space();
  const Canvas unticked = Paint();
  EXPECT_TRUE(Shows(unticked, L"[ ] Writing recovery disc #2"));
  EXPECT_TRUE(Shows(unticked, L"Space: tick"));
  EXPECT_FALSE(h.NextEnabled()) << "without /P every unwritten disc must be ticked";
  // Enter does nothing while Next is off; Space ticks the disc again.
  Press(KeyCode::kEnter);
  EXPECT_EQ(h.ActiveTemplate(), 106u);
  Space();
  EXPECT_TRUE(h.NextEnabled());
  // Down past the last row leaves the list for the comparison option.
  Press(KeyCode::kDown);
  EXPECT_EQ(view.focus, CPage_020_Drive::kCompareCheck);
  Space();
  EXPECT_FALSE(h.Control(106, CPage_020_Drive::kCompareCheck).checked);
  Press(KeyCode::kEnter);
  EXPECT_EQ(h.ActiveTemplate(), 107u);
  EXPECT_EQ(h.run.discSelMask, 3u);
  EXPECT_EQ(h.run.compareAfterWrite, 0u);
}

TEST_F(TerminalScreenTest, EscCancelsThroughTheQuestionAndEscInADropDownOnlyClosesIt) {
  ChooseRecorderWithKeys();
  Space();
  ASSERT_TRUE(view.dropDown);
  Press(KeyCode::kEscape);
  EXPECT_FALSE(view.dropDown);
  EXPECT_TRUE(h.BoxIds().empty());
  h.answers = {wm::kIdNo};
  Press(KeyCode::kEscape);
  EXPECT_EQ(h.BoxIds(), std::vector<uint32_t>{400});
  EXPECT_FALSE(h.ended());
  // Ctrl-C is the close request and goes through the same question.
  h.answers = {wm::kIdYes};
  Press(KeyCode::kInterrupt);
  EXPECT_EQ(h.BoxIds(), (std::vector<uint32_t>{400, 400}));
  EXPECT_TRUE(h.toolkit.SheetEnded());
}

TEST_F(TerminalScreenTest, ShiftTabWrapsAroundAndTheFocusNeverRestsOnCancelByItself) {
  h.Open();
  Paint();
  EXPECT_EQ(view.focus, HostToolkit::kNextButton);
  Press(KeyCode::kBackTab);
  EXPECT_EQ(view.focus, static_cast<uint32_t>(wm::kIdCancel));
  Press(KeyCode::kTab);
  EXPECT_EQ(view.focus, HostToolkit::kNextButton);
  Press(KeyCode::kRight);
  EXPECT_EQ(view.focus, static_cast<uint32_t>(wm::kIdCancel));
  // Space presses the focused button: Cancel on the Start page closes without a question.
  Space();
  EXPECT_TRUE(h.toolkit.SheetEnded());
  EXPECT_TRUE(h.BoxIds().empty());
}

TEST_F(TerminalScreenTest, TheWritePageShowsTaskIconsUnderTheCompletionMessage) {
  h.devices.recorders = {kRecorderE};
  h.run.allowPartial = 1;
  Canvas shown(1, 1);
  h.whileOpen[406] = [&] { shown = Paint(); };
  h.GoToDrivePage();
  ASSERT_TRUE(h.Choose(L'E').empty());
  ASSERT_TRUE(h.toolkit.ClickListCheck(CPage_020_Drive::kDiscList, 1, false).empty());
  h.Pump();
  ASSERT_TRUE(h.Next().empty());
  ASSERT_TRUE(h.PumpUntil([&] { return shown.rows() > 1; })) << "message 406 was not shown";
  EXPECT_TRUE(Shows(shown, L"│ ✔ Preparing"));
  const int disc = RowWith(shown, L"✔ Writing recovery disc #1 (1/2)");
  ASSERT_GT(disc, 0) << Narrow(shown.Text());
  EXPECT_NE(shown.RowText(disc).find(L"Complete"), std::wstring::npos);
  // The box is centred, carries the title, and shows its one button with the focus.
  const int top = RowWith(shown, L"─ Kestrune ─", 1);
  ASSERT_GT(top, 0);
  const int left = static_cast<int>(shown.RowText(top).find(L'┌'));
  const int right = static_cast<int>(shown.RowText(top).rfind(L'┐'));
  EXPECT_LE(std::abs(left - (79 - right)), 1) << Narrow(shown.RowText(top));
  EXPECT_TRUE(Shows(shown, L"Recovery disc #1 complete."));
  EXPECT_TRUE(Shows(shown, L"▸ OK ◂"));
  EXPECT_TRUE(Shows(shown, L"Enter: press"));
}

// --- Progress bars on a page of their own ---

class Silent : public WindowProcedure {
 public:
  bool OnMessage(uint32_t, uintptr_t, intptr_t, intptr_t&) override { return false; }
};

TEST(TerminalProgressTest, TheBarFillsByItsPositionAndTheMarqueeMovesByItself) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  HostToolkit toolkit;
  Silent sheet;
  Silent page;
  const SheetPage pages[] = {{&page, 107}};
  toolkit.OpenSheet(sheet, L"Kestrune", pages);
  const WindowHandle window = page.window();
  toolkit.SetRange(window, 1302, 0, 1000);
  toolkit.SetPosition(window, 1302, 250);
  TerminalView view;
  auto paint = [&](int elapsedMs) {
    Canvas canvas(24, 80);
    view.now = std::chrono::steady_clock::time_point(std::chrono::milliseconds(elapsedMs));
    SyncView(toolkit, view);
    PaintScreen(toolkit, view, canvas);
    for (int row = 0; row < canvas.rows(); ++row) {
      const std::wstring text = canvas.RowText(row);
      if (text.find(L'░') != std::wstring::npos) return text;
    }
    return std::wstring();
  };
  auto filled = [](const std::wstring& bar) { return std::count(bar.begin(), bar.end(), L'█'); };
  const std::wstring quarter = paint(0);
  EXPECT_EQ(filled(quarter), 72 / 4) << "a bar of 72 cells at 250 of 1000";
  EXPECT_FALSE(view.animating);
  toolkit.SetPosition(window, 1302, 1000);
  EXPECT_EQ(paint(0).find(L'░'), std::wstring::npos);

  // The marquee bar shows in the same place and moves while it is on.
  toolkit.Show(window, 1302, false);
  toolkit.Show(window, 1304, true);
  EXPECT_EQ(filled(paint(0)), 0) << "a marquee that is off stands still and empty";
  toolkit.SetMarquee(window, 1304, true, 100);
  const std::wstring early = paint(2000);
  EXPECT_TRUE(view.animating);
  const std::wstring later = paint(2300);
  EXPECT_EQ(filled(early), 12);
  EXPECT_EQ(filled(later), 12);
  EXPECT_EQ(later.find(L'█'), early.find(L'█') + 3) << "three steps of 100 ms, one cell each";
  toolkit.CloseSheet(wm::kIdCancel);
}

// --- Message boxes on their own ---

class TerminalBoxTest : public ::testing::Test, public ScreenObserver {
 protected:
  TerminalBoxTest() { toolkit.SetObserver(this); }
  // As the terminal front end does: a new box starts on its default button.
  void OnMessageBoxOpened(const MessageBoxState& box) override {
    view.boxFocus[&box] = box.DefaultButton();
  }

  /// Shows a box with `flags` and hands it `keys` one at a time; its answer.
  int Ask(uint32_t flags, std::vector<Key> keys) {
    int answer = -1;
    toolkit.loop().PostInput(
        [&] { answer = toolkit.ShowMessage(nullptr, 401, L"Stop creating discs?", flags); });
    for (const Key& key : keys) {
      toolkit.loop().PostInput([this, key] {
        SyncView(toolkit, view);
        HandleKey(toolkit, view, key);
      });
    }
    toolkit.loop().RunUntil([&] { return answer != -1; },
                            std::chrono::steady_clock::now() + std::chrono::seconds(5));
    return answer;
  }

  HostToolkit toolkit;
  TerminalView view;
};

TEST_F(TerminalBoxTest, EnterTakesTheDefaultButtonAndTheArrowsChooseAnother) {
  EXPECT_EQ(Ask(wm::kMbYesNo | wm::kMbDefButton2, {{KeyCode::kEnter}}), wm::kIdNo);
  EXPECT_EQ(Ask(wm::kMbYesNo | wm::kMbDefButton2, {{KeyCode::kLeft}, {KeyCode::kEnter}}),
            wm::kIdYes);
  EXPECT_EQ(
      Ask(wm::kMbOkCancel | wm::kMbDefButton2, {{KeyCode::kTab}, {KeyCode::kCharacter, L' '}}),
      wm::kIdOk);
  EXPECT_EQ(Ask(wm::kMbYesNo, {{KeyCode::kCharacter, L'N'}}), wm::kIdNo);
}

TEST_F(TerminalBoxTest, EscIsCancelOrOkButAYesNoQuestionNeedsAnAnswer) {
  EXPECT_EQ(Ask(wm::kMbOkCancel, {{KeyCode::kEscape}}), wm::kIdCancel);
  EXPECT_EQ(Ask(wm::kMbOk, {{KeyCode::kEscape}}), wm::kIdOk);
  EXPECT_EQ(Ask(wm::kMbYesNo,
                {{KeyCode::kEscape}, {KeyCode::kCharacter, L'x'}, {KeyCode::kCharacter, L'y'}}),
            wm::kIdYes);
}

TEST(ChooseFrontEndTest, TheTerminalIsTheDefaultOnlyWhereThereIsOne) {
  std::string why;
  EXPECT_EQ(ChooseFrontEnd(nullptr, true, why), FrontEndKind::kTerminal);
  EXPECT_EQ(ChooseFrontEnd("", true, why), FrontEndKind::kTerminal);
  EXPECT_EQ(ChooseFrontEnd("script", false, why), FrontEndKind::kScript);
  EXPECT_EQ(ChooseFrontEnd("terminal", true, why), FrontEndKind::kTerminal);
  EXPECT_EQ(ChooseFrontEnd(nullptr, false, why), std::nullopt);
  EXPECT_NE(why.find("no terminal"), std::string::npos);
  EXPECT_EQ(ChooseFrontEnd("terminal", false, why), std::nullopt);
  EXPECT_EQ(ChooseFrontEnd("curses", true, why), std::nullopt);
  EXPECT_NE(why.find("KESTRUNE_UI=curses"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::ui::host
