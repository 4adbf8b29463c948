// The Windows toolkit under wine with a screen: the sheet, dialogs, message boxes and controls
// driven by small recording controllers, and the resources the program file carries.
#include "platform/win32/windows_support.h"

#include "ui/win32/win32_toolkit.h"

#include <commctrl.h>
#include <dbt.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/win32/win32_resources.h"
#include "wizard/dialog_templates.h"
#include "wizard/strings.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::win32 {
namespace {

/// A controller that records what it is sent and answers through `handler`.
class Recorder : public WindowProcedure {
 public:
  using Handler = std::function<bool(uint32_t, uintptr_t, intptr_t, intptr_t&)>;

  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override {
    if (message == wm::kInitDialog || message == wm::kShowWindow || message == wm::kDestroy ||
        message == wm::kNotify || message == wm::kCommand || message == wm::kDeviceChange ||
        message == wm::kTimer || message >= wm::kFirstAppMessage) {
      log.push_back({message, wParam, lParam});
      if (message == wm::kNotify) {
        notes.push_back(*reinterpret_cast<const wm::NotifyInfo*>(lParam));
      }
      if (message == wm::kDeviceChange && lParam != 0) {
        devices.push_back(*reinterpret_cast<const wm::DeviceBroadcast*>(lParam));
      }
    }
    return handler ? handler(message, wParam, lParam, result) : false;
  }

  int Count(uint32_t message) const {
    int count = 0;
    for (const auto& entry : log) count += entry.message == message ? 1 : 0;
    return count;
  }

  struct Entry {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  std::vector<Entry> log;
  std::vector<wm::NotifyInfo> notes;
  std::vector<wm::DeviceBroadcast> devices;
  Handler handler;
};

/// Steps run one per idle moment of the toolkit's loops, as a person acts on what shows.
class Steps : public ScreenObserver {
 public:
  explicit Steps(Win32Toolkit& toolkit) : toolkit_(toolkit) { toolkit_.SetObserver(this); }
  ~Steps() override { toolkit_.SetObserver(nullptr); }

  void Add(std::function<void()> step) { steps_.push_back(std::move(step)); }
  void OnIdle() override {
    if (steps_.empty() || running_) return;
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    toolkit_.PostInput([this, step] {
      running_ = true;
      step();
      running_ = false;
    });
  }
  void OnMessageBoxOpened(MessageBoxRecord& box) override { opened.push_back(box.id); }
  bool Done() const { return steps_.empty(); }

  std::vector<uint32_t> opened;

 private:
  Win32Toolkit& toolkit_;
  std::deque<std::function<void()>> steps_;
  bool running_ = false;
};

HINSTANCE Module() { return GetModuleHandleW(nullptr); }
HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle Handle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// --- Resources ---

std::wstring ExpectedClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::kStatic:
    case ControlKind::kIcon:
      return L"Static";
    case ControlKind::kEdit:
      return L"Edit";
    case ControlKind::kComboBox:
      return L"ComboBox";
    case ControlKind::kListView:
      return L"SysListView32";
    case ControlKind::kProgress:
      return L"msctls_progress32";
    default:
      return L"Button";
  }
}

TEST(WizardResourcesTest, DialogTemplatesAreTheWizardsOwnInBothLanguages) {
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    const WizardResources resources(Module(), language);
    for (const DialogTemplate& source : AllDialogTemplates()) {
      SCOPED_TRACE("template " + std::to_string(source.id));
      CompiledTemplate compiled;
      ASSERT_TRUE(ReadCompiledTemplate(resources.DialogTemplate(source.id), compiled));
      EXPECT_EQ(compiled.width, source.width);
      EXPECT_EQ(compiled.height, source.height);
      EXPECT_EQ(compiled.fontName, L"Meiryo");
      EXPECT_EQ(compiled.caption,
                source.captionId == 0 ? L"" : LoadText(source.captionId, language));
      ASSERT_EQ(compiled.controls.size(), source.controls.size());
      for (size_t i = 0; i < source.controls.size(); ++i) {
        const TemplateControl& want = source.controls[i];
        const CompiledControl& got = compiled.controls[i];
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(got.id & 0xFFFF, want.id);
        // Class names are case-blind; windres writes some in capitals.
        EXPECT_EQ(_wcsicmp(got.windowClass.c_str(), ExpectedClass(want.kind).c_str()), 0)
            << "class " << windows::NarrowText(got.windowClass, CP_UTF8);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
        EXPECT_EQ((got.style & WS_VISIBLE) == 0, (want.style & control_style::kHidden) != 0);
        EXPECT_EQ((got.style & WS_DISABLED) != 0, (want.style & control_style::kDisabled) != 0);
        if (want.kind == ControlKind::kIcon) {
          EXPECT_EQ(got.text, L"#" + std::to_wstring(want.iconId));
        } else {
          EXPECT_EQ(got.text, want.textId == 0 ? L"" : LoadText(want.textId, language));
        }
      }
    }
  }
}

TEST(WizardResourcesTest, StringTablesHoldEveryStringOfTheTableInBothLanguages) {
  // windres garbles texts that are not plain UTF-8 under code page 65001; the line breaks
  // must arrive as line breaks.
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    const WizardResources resources(Module(), language);
    for (const StringEntry& entry : AllStrings()) {
      EXPECT_EQ(resources.String(entry.id), LoadText(entry.id, language)) << "string " << entry.id;
    }
  }
  EXPECT_NE(WizardResources(Module(), Language::kEnglish).String(400).find(L"\n\nAre you"),
            std::wstring::npos);
}

TEST(WizardResourcesTest, TheStatusIconsAndTheAppIconLoadAtListAndDialogSizes) {
  const WizardResources resources(Module(), Language::kEnglish);
  for (const uint32_t id : {128u, 129u, 130u, 131u, 132u}) {
    for (const int size : {16, 32}) {
      HICON icon = resources.Icon(id, size);
      EXPECT_NE(icon, nullptr) << "icon " << id << " at " << size;
      if (icon != nullptr) DestroyIcon(icon);
    }
  }
}

// --- The sheet ---

class SheetTest : public ::testing::Test {
 protected:
  std::vector<SheetPage> Pages(std::initializer_list<uint32_t> templates) {
    std::vector<SheetPage> pages;
    size_t i = 0;
    for (const uint32_t id : templates) pages.push_back({&page[i++], id});
    return pages;
  }

  Win32Toolkit toolkit{Module(), Language::kEnglish};
  Recorder sheet;
  Recorder page[4];
};

TEST_F(SheetTest, TheSheetHearsOfItsCreationFirstAndStandsWithoutCaptionBorderOrSystemMenu) {
  Steps steps(toolkit);
  LONG_PTR style = 0;
  RECT window{}, client{};
  std::vector<std::string> order;
  sheet.handler = [&](uint32_t message, uintptr_t, intptr_t, intptr_t& result) {
    if (message == wm::kInitDialog) order.push_back("sheet");
    result = 1;
    return message == wm::kInitDialog;
  };
  page[0].handler = [&](uint32_t message, uintptr_t wParam, intptr_t, intptr_t&) {
    if (message == wm::kInitDialog) order.push_back("page");
    if (message == wm::kShowWindow && wParam != 0) order.push_back("shown");
    return false;
  };
  steps.Add([&] {
    HWND handle = toolkit.SheetWindow();
    style = GetWindowLongPtrW(handle, GWL_STYLE);
    GetWindowRect(handle, &window);
    GetClientRect(handle, &client);
    toolkit.PostQuit(5);
  });
  const auto pages = Pages({102, 103});
  EXPECT_EQ(toolkit.RunSheet(sheet, L"Kestrune", pages), 5);
  EXPECT_EQ(order, (std::vector<std::string>{"sheet", "page", "shown"}));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_POPUP | WS_BORDER), 0);
  EXPECT_EQ(window.right - window.left, client.right);
  EXPECT_EQ(window.bottom - window.top, client.bottom);
  EXPECT_EQ(sheet.Count(wm::kDestroy), 1);
  EXPECT_EQ(page[0].Count(wm::kDestroy), 1);
  EXPECT_EQ(page[1].Count(wm::kInitDialog), 0) << "a page's window is made when first shown";
  MSG quit;
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
      << "the quit was the sheet's and is used up";
}

TEST_F(SheetTest, NextAsksThePageWhichMayStayAndBackReturns) {
  Steps steps(toolkit);
  int refusals = 1;
  page[0].handler = [&](uint32_t message, uintptr_t, intptr_t lParam, intptr_t& result) {
    if (message == wm::kShowWindow) {
      toolkit.ports().post.Post(sheet.window(), wm::kSetWizButtons, 0, wm::kWizButtonNext);
    }
    if (message != wm::kNotify) return false;
    const auto* note = reinterpret_cast<const wm::NotifyInfo*>(lParam);
    if (note->code != wm::kPsnWizNext || refusals == 0) return false;
    --refusals;
    result = -1;
    return true;
  };
  page[1].handler = [&](uint32_t message, uintptr_t wParam, intptr_t, intptr_t&) {
    if (message == wm::kShowWindow && wParam != 0) {
      toolkit.ports().post.Post(sheet.window(), wm::kSetWizButtons, 0,
                                wm::kWizButtonBack | wm::kWizButtonNext);
    }
    return false;
  };
  std::vector<uint32_t> seen;
  steps.Add([&] { EXPECT_EQ(toolkit.PressBack(), "Back is disabled"); });
  steps.Add([&] { EXPECT_EQ(toolkit.PressNext(), ""); });
  steps.Add([&] {
    seen.push_back(toolkit.ActivePageTemplate());
    EXPECT_EQ(toolkit.PressNext(), "");
  });
  steps.Add([&] {
    seen.push_back(toolkit.ActivePageTemplate());
    EXPECT_EQ(toolkit.WizardButtons(), wm::kWizButtonBack | wm::kWizButtonNext);
    EXPECT_EQ(toolkit.PressBack(), "");
  });
  steps.Add([&] {
    seen.push_back(toolkit.ActivePageTemplate());
    toolkit.PostQuit(1);
  });
  const auto pages = Pages({102, 103});
  EXPECT_EQ(toolkit.RunSheet(sheet, L"Kestrune", pages), 1);
  EXPECT_EQ(seen, (std::vector<uint32_t>{102, 103, 102}));
  ASSERT_GE(page[0].notes.size(), 2u);
  EXPECT_EQ(page[0].notes[0].code, wm::kPsnWizNext);
  EXPECT_EQ(page[1].Count(wm::kInitDialog), 1) << "made once, shown twice";
}

TEST_F(SheetTest, CancelAndCloseGoToTheSheetsControllerFirst) {
  Steps steps(toolkit);
  int stays = 2;
  sheet.handler = [&](uint32_t message, uintptr_t wParam, intptr_t, intptr_t&) {
    const bool cancel = message == wm::kCommand && (wParam & 0xFFFF) == IDCANCEL;
    const bool close = message == wm::kSysCommand && (wParam & 0xFFF0) == wm::kScClose;
    if (!cancel && !close) return false;
    return stays-- > 0;  // true: the controller keeps the sheet open
  };
  steps.Add([&] { EXPECT_EQ(toolkit.PressCancel(), ""); });
  steps.Add([&] { EXPECT_EQ(toolkit.RequestClose(), ""); });
  steps.Add([&] {
    EXPECT_NE(toolkit.SheetWindow(), nullptr) << "both were refused";
    EXPECT_EQ(toolkit.PressCancel(), "");
  });
  const auto pages = Pages({102});
  EXPECT_EQ(toolkit.RunSheet(sheet, L"Kestrune", pages), IDCANCEL);
  EXPECT_TRUE(steps.Done());
}

TEST_F(SheetTest, DeviceNotificationsReachTheSheetAsBroadcasts) {
  Steps steps(toolkit);
  LRESULT answer = 0;
  steps.Add([&] {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 4;  // E:
    volume.dbcv_flags = DBTF_MEDIA;
    answer = SendMessageW(toolkit.SheetWindow(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                          reinterpret_cast<LPARAM>(&volume));
    SendMessageW(toolkit.SheetWindow(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    toolkit.PostQuit(1);
  });
  const auto pages = Pages({102});
  toolkit.RunSheet(sheet, L"Kestrune", pages);
  EXPECT_EQ(answer, TRUE);
  ASSERT_EQ(sheet.devices.size(), 1u);
  EXPECT_EQ(sheet.devices[0].deviceType, wm::kDbtDevTypVolume);
  EXPECT_EQ(sheet.devices[0].unitMask, 1u << 4);
  EXPECT_EQ(sheet.devices[0].flags, wm::kDbtfMedia);
  EXPECT_EQ(sheet.Count(wm::kDeviceChange), 2) << "device nodes changed comes without payload";
}

TEST_F(SheetTest, TheDrivePagesControlsTakeClicksAsTheUserGivesThem) {
  Steps steps(toolkit);
  page[0].handler = [&](uint32_t message, uintptr_t, intptr_t, intptr_t&) {
    if (message != wm::kInitDialog) return false;
    const WindowHandle self = page[0].window();
    toolkit.Enable(self, 1201, true);
    toolkit.AddItem(self, 1201, L"( E:\\ ) KESTRUNE DVD", 'E');
    toolkit.AddItem(self, 1201, L"( F:\\ ) USB stick", 'F' | 0x100);
    toolkit.Enable(self, 1202, true);
    toolkit.EnableCheckBoxes(self, 1202);
    toolkit.InsertColumn(self, 1202, 0, L"Disc No.", ColumnAlign::kLeft, 100);
    toolkit.InsertItem(self, 1202, 0, L"Disc 1", -1);
    toolkit.InsertItem(self, 1202, 1, L"Disc 2", -1);
    return false;
  };
  steps.Add([&] {
    EXPECT_EQ(toolkit.SelectComboItem(1201, 1), "");
    EXPECT_EQ(toolkit.ClickListCheck(1202, 1, true), "");
    EXPECT_EQ(toolkit.ClickButton(1601, true), "");
    EXPECT_EQ(toolkit.ClickButton(1252, true), "control 1252 is hidden");
    EXPECT_EQ(toolkit.ClickListCheck(1202, 2, true), "list 1202 has no row 3");
    toolkit.PostQuit(1);
  });
  const auto pages = Pages({106});
  toolkit.RunSheet(sheet, L"Kestrune", pages);
  ASSERT_EQ(page[0].notes.size(), 1u);
  EXPECT_EQ(page[0].notes[0].code, wm::kNmClick);
  EXPECT_EQ(page[0].notes[0].idFrom, 1202u);
  EXPECT_EQ(page[0].notes[0].item, 1);
  EXPECT_EQ(page[0].notes[0].subItem, 0);
  std::vector<uintptr_t> commands;
  for (const auto& entry : page[0].log) {
    if (entry.message == wm::kCommand) commands.push_back(entry.wParam);
  }
  EXPECT_EQ(commands, (std::vector<uintptr_t>{1201 | (uintptr_t{wm::kComboSelChange} << 16),
                                              1601 | (uintptr_t{wm::kButtonClicked} << 16)}));
}

/// A window's rectangle, or its client area, on the screen.
RECT ScreenRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}
RECT ClientOnScreen(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}
bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}
std::string Describe(const RECT& rect) {
  char text[64];
  std::snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", rect.left, rect.top, rect.right,
                rect.bottom);
  return text;
}

/// What a user would see cut off: a visible control of the page outside the page, the page
/// outside the sheet, or a control of the sheet (a button, the line above them) over the page.
void ExpectPageShowsWhole(HWND sheet, HWND page) {
  const RECT pageClient = ClientOnScreen(page);
  for (HWND control = GetWindow(page, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    if (!IsWindowVisible(control)) continue;
    EXPECT_TRUE(Inside(ScreenRect(control), pageClient))
        << "control " << GetDlgCtrlID(control) << " at " << Describe(ScreenRect(control))
        << " outside the page's client area " << Describe(pageClient);
  }
  const RECT pageRect = ScreenRect(page);
  EXPECT_TRUE(Inside(pageRect, ClientOnScreen(sheet)))
      << "page " << Describe(pageRect) << " outside the sheet " << Describe(ClientOnScreen(sheet));
  for (HWND other = GetWindow(sheet, GW_CHILD); other != nullptr;
       other = GetWindow(other, GW_HWNDNEXT)) {
    if (other == page || !IsWindowVisible(other)) continue;
    RECT overlap{};
    const RECT otherRect = ScreenRect(other);
    EXPECT_FALSE(IntersectRect(&overlap, &otherRect, &pageRect))
        << "the sheet's control " << GetDlgCtrlID(other) << " at " << Describe(otherRect)
        << " covers the page " << Describe(pageRect);
    EXPECT_GE(otherRect.top, pageRect.bottom)
        << "the sheet's control " << GetDlgCtrlID(other) << " stands beside the page";
  }
}

/// The sheet's Back, Next and Cancel buttons as comctl32 made them: one size, side by side in
/// that order, inside the sheet, however much the sheet grew for its pages.
void ExpectButtonsInARow(HWND sheet) {
  const int ids[] = {0x3023, 0x3024, IDCANCEL};  // Back, Next, Cancel
  RECT previous{};
  for (const int id : ids) {
    HWND button = GetDlgItem(sheet, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    const RECT rect = ScreenRect(button);
    EXPECT_TRUE(Inside(rect, ClientOnScreen(sheet)))
        << "button " << id << " at " << Describe(rect) << " outside the sheet";
    if (id == ids[0]) {
      previous = rect;
      continue;
    }
    EXPECT_EQ(rect.right - rect.left, previous.right - previous.left)
        << "button " << id << " at " << Describe(rect) << ", the one before at "
        << Describe(previous);
    EXPECT_EQ(rect.bottom - rect.top, previous.bottom - previous.top);
    EXPECT_GE(rect.left, previous.right) << "button " << id << " at " << Describe(rect)
                                         << " over the one before at " << Describe(previous);
    previous = rect;
  }
}

TEST(SheetLayoutTest, EveryPageShowsWholeAboveTheButtonsInBothLanguages) {
  // The pages' font is not the sheet's; under wine it falls back to a font with other base
  // units, so a sheet laid out in its own font alone cuts the pages at the bottom.
  // KestrixDw says in its manifest that it draws at the screen's resolution; so does this
  // test, for its run at 150 % (the win32_ui_tests_150_percent test).
  SetProcessDPIAware();
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    SCOPED_TRACE(language == Language::kEnglish ? "English" : "Japanese");
    Win32Toolkit toolkit(Module(), language);
    Steps steps(toolkit);
    Recorder sheet;
    Recorder page[4];
    const uint32_t templates[] = {102, 103, 106, 107};
    std::vector<SheetPage> pages;
    for (size_t i = 0; i < 4; ++i) {
      pages.push_back({&page[i], templates[i]});
      page[i].handler = [&toolkit, &sheet](uint32_t message, uintptr_t wParam, intptr_t,
                                           intptr_t&) {
        if (message == wm::kShowWindow && wParam != 0) {
          toolkit.ports().post.Post(sheet.window(), wm::kSetWizButtons, 0,
                                    wm::kWizButtonBack | wm::kWizButtonNext);
        }
        return false;
      };
    }
    std::vector<uint32_t> checked;
    for (size_t i = 0; i < 4; ++i) {
      steps.Add([&, i] {
        SCOPED_TRACE("template " + std::to_string(templates[i]));
        ASSERT_EQ(toolkit.ActivePageTemplate(), templates[i]);
        ExpectPageShowsWhole(toolkit.SheetWindow(), toolkit.ActivePageWindow());
        ExpectButtonsInARow(toolkit.SheetWindow());
        checked.push_back(templates[i]);
        if (i + 1 < 4) {
          EXPECT_EQ(toolkit.PressNext(), "");
        } else {
          toolkit.PostQuit(1);
        }
      });
    }
    toolkit.RunSheet(sheet, L"Kestrune", pages);
    EXPECT_EQ(checked.size(), 4u);
  }
}

// --- Dialogs and message boxes ---

TEST(DialogTest, MessageBoxesCarryTheTitleAndTakeAnAnswerGivenBeforeOrAfterTheyShow) {
  Win32Toolkit toolkit(Module(), Language::kJapanese);
  struct Answerer : ScreenObserver {
    Win32Toolkit* toolkit;
    std::wstring caption;
    bool early = true;
    void OnMessageBoxOpened(MessageBoxRecord& box) override {
      if (early) toolkit->AnswerBox(box.DefaultButton());
    }
    void OnIdle() override {
      MessageBoxRecord* box = toolkit->UnansweredBox();
      if (box == nullptr || box->window == nullptr) return;
      caption = TextOf(box->window);
      toolkit->AnswerBox(IDYES);
    }
  } answerer;
  answerer.toolkit = &toolkit;
  toolkit.SetObserver(&answerer);
  EXPECT_EQ(toolkit.ShowMessage(nullptr, 400, L"Stop?", wm::kMbYesNo | wm::kMbDefButton2), IDNO);
  answerer.early = false;
  EXPECT_EQ(toolkit.ShowMessage(nullptr, 400, L"Stop?", wm::kMbYesNo | wm::kMbDefButton2), IDYES);
  EXPECT_EQ(answerer.caption, LoadText(kAppTitleStringId, Language::kJapanese));
  toolkit.SetObserver(nullptr);
  toolkit.PostQuit(3);
  EXPECT_EQ(toolkit.ShowMessage(nullptr, 457, L"No disc service", wm::kMbOk), 0)
      << "a quitting program shows nothing more";
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST(DialogTest, AModalBoxShowsItsIconAndTextTicksItsTimersAndEndsWithItsResult) {
  Win32Toolkit toolkit(Module(), Language::kEnglish);
  Recorder box;
  int ticks = 0;
  HICON icon = nullptr;
  std::wstring text;
  box.handler = [&](uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
    const WindowHandle self = box.window();
    if (message == wm::kInitDialog) {
      text = toolkit.GetText(self, 1502);
      icon = reinterpret_cast<HICON>(SendDlgItemMessageW(Hwnd(self), 1501, STM_GETICON, 0, 0));
      toolkit.SetTimer(self, 2, 10);
      result = 1;
      return true;
    }
    if (message == wm::kTimer && wParam == 2 && ++ticks == 3) {
      toolkit.KillTimer(self, 2);
      toolkit.EndModal(self, 0x800);
    }
    return false;
  };
  EXPECT_EQ(toolkit.RunModal(box, 122, nullptr), 0x800);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(text, L"Connect the AC adaptor");
  EXPECT_NE(icon, nullptr);
  EXPECT_EQ(box.window(), nullptr) << "the window is gone once the run ends";
  EXPECT_EQ(box.Count(wm::kDestroy), 1);
}

TEST(DialogTest, InputsStillRunWhileATimerIsDueInAModalLoop) {
  // A timer comes only once no posted message waits; the toolkit's look at the queue must not
  // keep posting behind it, or neither the timer nor any input would ever come (the script
  // of a wizard showing a box while a page's timer ran could no longer act or end).
  Win32Toolkit toolkit(Module(), Language::kEnglish);
  Recorder box;
  int ticks = 0;
  bool inputRan = false;
  box.handler = [&](uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
    const WindowHandle self = box.window();
    if (message == wm::kInitDialog) {
      toolkit.SetTimer(self, 2, 1);
      Sleep(30);  // the timer is due before the input is posted
      toolkit.PostInput([&] { inputRan = true; });
      result = 1;
      return true;
    }
    if (message == wm::kTimer && wParam == 2 && ++ticks >= 3 && inputRan) {
      toolkit.KillTimer(self, 2);
      toolkit.EndModal(self, 0x800);
    }
    return false;
  };
  EXPECT_EQ(toolkit.RunModal(box, 122, nullptr), 0x800);
  EXPECT_TRUE(inputRan);
}

TEST(DialogTest, AClockThatMayJumpFiresTheNextTimerOnlyOnceEverythingIsIdle) {
  Win32Toolkit toolkit(Module(), Language::kEnglish);
  bool idle = false;
  toolkit.EnableIdleJumps([&] { return idle; });
  Recorder box;
  int quickTicks = 0;
  int quickTicksAtSlow = -1;
  box.handler = [&](uint32_t message, uintptr_t wParam, intptr_t, intptr_t& result) {
    const WindowHandle self = box.window();
    if (message == wm::kInitDialog) {
      toolkit.SetTimer(self, 5, 600000);  // ten minutes: only a jump brings it within the test
      toolkit.SetTimer(self, 6, 10);
      result = 1;
      return true;
    }
    if (message == wm::kTimer && wParam == 6 && ++quickTicks == 5) {
      toolkit.KillTimer(self, 6);
      idle = true;
    }
    if (message == wm::kTimer && wParam == 5) {
      quickTicksAtSlow = quickTicks;
      toolkit.KillTimer(self, 5);
      toolkit.EndModal(self, 0x500);
    }
    return false;
  };
  EXPECT_EQ(toolkit.RunModal(box, 122, nullptr), 0x500);
  EXPECT_EQ(quickTicksAtSlow, 5) << "no jump while something else still runs";
}

TEST(DialogTest, TheDiscPromptIsMadeHiddenAndHearsItsPostsUntilDestroyed) {
  Win32Toolkit toolkit(Module(), Language::kEnglish);
  Recorder prompt;
  const WindowHandle window = toolkit.CreateModeless(prompt, 101, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(Hwnd(window)));
  EXPECT_EQ(TextOf(Hwnd(window)), L"Create recovery disc #* (*/*)");
  EXPECT_FALSE(toolkit.IsEnabled(window, 1351));
  EXPECT_TRUE(toolkit.ports().post.Post(window, 0x9203, 1, 0x0203));
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  ASSERT_EQ(prompt.Count(0x9203), 1);
  toolkit.DestroyWindow(window);
  EXPECT_EQ(prompt.window(), nullptr);
  EXPECT_FALSE(toolkit.ports().post.Post(window, 0x9203, 1, 0)) << "posts to it fail now";
}

TEST(ControlsTest, ListsKeepTextsChecksImagesAndDataAndTheComboKeepsOrderAndData) {
  Win32Toolkit toolkit(Module(), Language::kJapanese);
  Recorder drive;
  // A page's template makes a child window: it needs a parent, as the sheet is to it.
  HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                                Module(), nullptr);
  ASSERT_NE(parent, nullptr);
  const WindowHandle page = toolkit.CreateModeless(drive, 106, Handle(parent));
  ASSERT_NE(page, nullptr);
  const uint32_t icons[] = {132, 130, 129, 131};
  toolkit.SetImageList(page, 1202, icons);
  toolkit.EnableCheckBoxes(page, 1202);
  toolkit.InsertColumn(page, 1202, 0, L"ディスク番号", ColumnAlign::kLeft, 120);
  toolkit.InsertColumn(page, 1202, 1, L"状態", ColumnAlign::kCenter, 80);
  EXPECT_EQ(toolkit.InsertItem(page, 1202, 0, L"リカバリーディスク #1", 0), 0);
  EXPECT_EQ(toolkit.InsertItem(page, 1202, 5, L"リカバリーディスク #2", 2), 1) << "appended";
  toolkit.SetItemText(page, 1202, 1, 1, L"書き込み済み");
  toolkit.SetCheckState(page, 1202, 0, true);
  toolkit.SetItemData(page, 1202, 1, 1);
  toolkit.SetItemImage(page, 1202, 0, 3);
  EXPECT_EQ(toolkit.ItemCount(page, 1202), 2);
  EXPECT_EQ(toolkit.GetItemText(page, 1202, 1, 1), L"書き込み済み");
  EXPECT_TRUE(toolkit.GetCheckState(page, 1202, 0));
  EXPECT_FALSE(toolkit.GetCheckState(page, 1202, 1)) << "new rows are unchecked";
  EXPECT_EQ(toolkit.GetItemData(page, 1202, 0), 0);
  EXPECT_EQ(toolkit.GetItemData(page, 1202, 1), 1);
  EXPECT_EQ(toolkit.GetItemImage(page, 1202, 0), 3);
  EXPECT_GT(toolkit.ClientWidth(page, 1202), 300);

  toolkit.AddItem(page, 1201, L"( F:\\ ) USB", 0x146);
  toolkit.AddItem(page, 1201, L"( E:\\ ) DVD", 'E');
  EXPECT_EQ(toolkit.ItemCount(page, 1201), 2);
  EXPECT_EQ(toolkit.ItemText(page, 1201, 0), L"( F:\\ ) USB") << "no sorting";
  EXPECT_EQ(toolkit.ItemData(page, 1201, 0), 0x146u);
  EXPECT_EQ(toolkit.GetSelection(page, 1201), -1);
  toolkit.SetSelection(page, 1201, 1);
  EXPECT_EQ(toolkit.GetSelection(page, 1201), 1);
  toolkit.ResetContent(page, 1201);
  EXPECT_EQ(toolkit.ItemCount(page, 1201), 0);

  toolkit.SetCheck(page, 1601, true);
  EXPECT_TRUE(toolkit.GetCheck(page, 1601));
  EXPECT_EQ(toolkit.GetText(page, 1601), LoadText(1066, Language::kJapanese));
  toolkit.DestroyWindow(page);

  Recorder write;
  const WindowHandle progress = toolkit.CreateModeless(write, 107, Handle(parent));
  ASSERT_NE(progress, nullptr);
  toolkit.SetRange(progress, 1302, 0, 1000);
  toolkit.SetPosition(progress, 1302, 990);
  EXPECT_EQ(toolkit.GetPosition(progress, 1302), 990);
  toolkit.SetMarquee(progress, 1304, true, 100);
  EXPECT_EQ(toolkit.ItemCount(progress, 9999), 0) << "a missing control reads as empty";
  toolkit.DestroyWindow(progress);
  ::DestroyWindow(parent);
}

}  // namespace
}  // namespace kestrune::ui::win32
