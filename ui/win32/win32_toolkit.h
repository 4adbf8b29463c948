#pragma once

// The wizard's view ports over the real window system: a wizard-style property sheet whose
// pages are dialogs on the generated templates, modal and hidden modeless dialogs, message
// boxes with the application title, and the common controls. Each window of the wizard is
// bridged to its controller (a WindowProcedure) by a dialog procedure, or for the sheet by a
// subclass of comctl32's own window procedure; no framework is involved.

#include "platform/win32/windows_support.h"

#include <commctrl.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_window_port.h"
#include "ui/win32/win32_resources.h"
#include "wizard/strings.h"
#include "wizard/view_ports.h"

namespace kestrune::ui::win32 {

/// A message box while it is open.
struct MessageBoxRecord {
  uint32_t id = 0;  ///< string id of the text
  std::wstring text;
  uint32_t flags = 0;
  HWND window = nullptr;  ///< once the system has created it
  int presetAnswer = 0;   ///< the answer given, posted to the box once it exists
  int answer = 0;
  bool answered = false;

  /// The buttons in order: IDOK; IDOK, IDCANCEL; or IDYES, IDNO.
  std::vector<int> Buttons() const;
  int DefaultButton() const;
};

/// What a front end of the toolkit is told; all calls on the UI thread.
class ScreenObserver {
 public:
  virtual ~ScreenObserver() = default;
  /// No posted message waits: the screen is as the user sees it now.
  virtual void OnIdle() {}
  /// A message box is about to open; the observer may answer it at once (AnswerBox).
  virtual void OnMessageBoxOpened(MessageBoxRecord&) {}
  virtual void OnMessageBoxClosed(const MessageBoxRecord&) {}
  /// The sheet has closed with `result`.
  virtual void OnSheetEnded(intptr_t) {}
};

class Win32Toolkit : public WindowView,
                     public ControlView,
                     public ComboView,
                     public ListView,
                     public ProgressView,
                     public TimerView,
                     public DialogView,
                     public SheetView {
 public:
  /// The sheet's wizard buttons (comctl32's control ids), besides Cancel (IDCANCEL).
  static constexpr int kBackButton = 0x3023;
  static constexpr int kNextButton = 0x3024;
  static constexpr int kFinishButton = 0x3025;

  /// Header flags of the sheet: the wizard style without Apply, help or context help, with
  /// the application icon.
  static constexpr DWORD kSheetFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_WIZARD |
                                       PSH_NOAPPLYNOW | PSH_USEHICON | PSH_NOCONTEXTHELP;
  /// What the sheet's window loses once created: caption, border and system menu.
  static constexpr DWORD kRemovedStyle =
      WS_POPUP | WS_CLIPSIBLINGS | WS_BORDER | WS_DLGFRAME | WS_SYSMENU;
  static constexpr DWORD kRemovedExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

  /// Must be made on the UI thread, which it serves from then on.
  Win32Toolkit(HINSTANCE module, Language language);
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  ViewPorts& ports() { return ports_; }
  const WizardResources& resources() const { return resources_; }
  Language language() const { return language_; }
  void SetObserver(ScreenObserver* observer) { observer_ = observer; }

  /// Runs `action` on the UI thread once no posted message waits, after the observer has
  /// looked at the screen (any thread). Modal loops run it too.
  void PostInput(std::function<void()> action);
  /// True while the program's own messages or input wait to be handled.
  bool Busy() const;

  // --- What a front end reads (UI thread) ---
  HWND SheetWindow() const { return sheet_; }
  /// Template of the page that shows, 0 none; the window of a page once created.
  uint32_t ActivePageTemplate();
  HWND ActivePageWindow();
  HWND PageWindowOf(uint32_t templateId);
  /// The template a window of the wizard was made from, 0 when it is none of them.
  uint32_t TemplateOf(HWND window) const;
  /// The Back and Next buttons as kSetWizButtons flags.
  uint32_t WizardButtons();
  const std::vector<MessageBoxRecord*>& OpenBoxes() const { return boxes_; }
  /// The innermost open box while it has no answer yet; null otherwise.
  MessageBoxRecord* UnansweredBox();

  // --- Input (UI thread), as the user's clicks: an empty text when done, else why the screen
  // does not take it. `accepted` runs once the input fits, before its effects.
  using Accepted = std::function<void()>;
  std::string PressNext(const Accepted& accepted = {});
  std::string PressBack(const Accepted& accepted = {});
  std::string PressCancel(const Accepted& accepted = {});
  /// The title-bar close (Alt+F4), offered to the sheet even while it is disabled.
  std::string RequestClose(const Accepted& accepted = {});
  std::string AnswerBox(int button, const Accepted& accepted = {});
  std::string SelectComboItem(uint32_t id, int index, const Accepted& accepted = {});
  std::string ClickButton(uint32_t id, bool checked, const Accepted& accepted = {});
  std::string ClickListCheck(uint32_t id, int row, bool checked, const Accepted& accepted = {});
  /// The session ends: the sheet is told as on logoff, and every loop ends with `exitCode`.
  void EndSession(int exitCode);
  /// Lets the clock jump (scripted runs): whenever no input waits and `idle` says that the
  /// rest of the program waits too, the timer due first fires at once instead of when due.
  void EnableIdleJumps(std::function<bool()> idle);

  // WindowView
  bool IsWindow(WindowHandle window) override;
  void EnableWindow(WindowHandle window, bool enable) override;
  bool IsWindowEnabled(WindowHandle window) override;
  void ShowWindow(WindowHandle window, bool show) override;
  void SetCaption(WindowHandle window, const std::wstring& text) override;
  void BringToFront(WindowHandle window) override;
  void DestroyWindow(WindowHandle window) override;

  // ControlView
  void SetText(WindowHandle window, uint32_t id, const std::wstring& text) override;
  std::wstring GetText(WindowHandle window, uint32_t id) override;
  void Enable(WindowHandle window, uint32_t id, bool enable) override;
  bool IsEnabled(WindowHandle window, uint32_t id) override;
  void Show(WindowHandle window, uint32_t id, bool show) override;
  void SetCheck(WindowHandle window, uint32_t id, bool checked) override;
  bool GetCheck(WindowHandle window, uint32_t id) override;

  // ComboView
  void ResetContent(WindowHandle window, uint32_t id) override;
  int AddItem(WindowHandle window, uint32_t id, const std::wstring& text, uint32_t data) override;
  /// Entries of a combo box, or rows of a list view (both ports ask by the same name).
  int ItemCount(WindowHandle window, uint32_t id) override;
  int GetSelection(WindowHandle window, uint32_t id) override;
  void SetSelection(WindowHandle window, uint32_t id, int index) override;
  std::wstring ItemText(WindowHandle window, uint32_t id, int index) override;
  uint32_t ItemData(WindowHandle window, uint32_t id, int index) override;

  // ListView
  int ClientWidth(WindowHandle window, uint32_t id) override;
  void InsertColumn(WindowHandle window, uint32_t id, int column, const std::wstring& heading,
                    ColumnAlign align, int width) override;
  void EnableCheckBoxes(WindowHandle window, uint32_t id) override;
  void SetImageList(WindowHandle window, uint32_t id, std::span<const uint32_t> iconIds) override;
  void DeleteAllItems(WindowHandle window, uint32_t id) override;
  int InsertItem(WindowHandle window, uint32_t id, int row, const std::wstring& text,
                 int image) override;
  void SetItemText(WindowHandle window, uint32_t id, int row, int column,
                   const std::wstring& text) override;
  std::wstring GetItemText(WindowHandle window, uint32_t id, int row, int column) override;
  void SetItemImage(WindowHandle window, uint32_t id, int row, int image) override;
  void SetCheckState(WindowHandle window, uint32_t id, int row, bool checked) override;
  bool GetCheckState(WindowHandle window, uint32_t id, int row) override;
  void SetItemData(WindowHandle window, uint32_t id, int row, intptr_t data) override;
  intptr_t GetItemData(WindowHandle window, uint32_t id, int row) override;
  /// The image of a row (for the screen reader and tests).
  int GetItemImage(WindowHandle window, uint32_t id, int row);

  // ProgressView
  void SetRange(WindowHandle window, uint32_t id, int low, int high) override;
  void SetPosition(WindowHandle window, uint32_t id, int position) override;
  int GetPosition(WindowHandle window, uint32_t id) override;
  void SetMarquee(WindowHandle window, uint32_t id, bool on, uint32_t intervalMs) override;

  // TimerView
  bool SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) override;
  uint64_t NowMilliseconds() override;
  void KillTimer(WindowHandle window, uintptr_t id) override;

  // DialogView
  int ShowMessage(WindowHandle owner, uint32_t stringId, const std::wstring& text,
                  uint32_t flags) override;
  intptr_t RunModal(WindowProcedure& dialog, uint32_t templateId, WindowHandle owner) override;
  void EndModal(WindowHandle dialog, intptr_t result) override;
  WindowHandle CreateModeless(WindowProcedure& dialog, uint32_t templateId,
                              WindowHandle owner) override;
  void PostQuit(int exitCode) override;

  // SheetView
  intptr_t RunSheet(WindowProcedure& sheet, const std::wstring& caption,
                    std::span<const SheetPage> pages) override;
  int ActivePage(WindowHandle sheet) override;
  WindowHandle PageWindow(WindowHandle sheet, int index) override;

 private:
  /// One window of the wizard bridged to its controller.
  struct WindowRecord {
    Win32Toolkit* toolkit = nullptr;
    WindowProcedure* procedure = nullptr;
    uint32_t templateId = 0;
    bool page = false;
  };

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static int CALLBACK SheetCallback(HWND window, UINT message, LPARAM lParam);
  static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK IdleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  /// The dialog procedure of every page and dialog: hands the message to the controller.
  INT_PTR HandleDialogMessage(WindowRecord& record, HWND window, UINT message, WPARAM wParam,
                              LPARAM lParam);
  LRESULT HandleSheetMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  /// Asks the controller; true when it handled the message, with its answer.
  bool Deliver(WindowProcedure& procedure, UINT message, WPARAM wParam, LPARAM lParam,
               intptr_t& result);
  /// The white look of the pages and the sheet: a brush for WM_CTLCOLOR..., or null.
  static HBRUSH WhiteLook(UINT message, WPARAM wParam);
  void OnSheetCreated(HWND window);
  /// comctl32 sizes the page area from the templates in the sheet's own font; the pages are
  /// laid out in theirs, which may be larger (a fallback font, or a tall one). The sheet
  /// grows by the difference, its buttons and line move below the grown area, and the pages
  /// that exist take its size (later ones when first shown, FitPage).
  void FitSheetToPages(HWND window);
  /// Gives a page of the running sheet the page area's size (none before the sheet stands).
  void FitPage(HWND page) const;
  void RestyleSheet(HWND window);
  void OnIdleWake();
  void ScheduleIdle();
  /// A record for a dialog about to be created; it becomes the window's at WM_INITDIALOG.
  WindowRecord* NewRecord(WindowProcedure& procedure, uint32_t templateId);
  void Attach(HWND window, WindowRecord* record);
  /// Drops a record whose dialog was never created.
  void ForgetUnattached(WindowRecord* record);
  HWND Control(WindowHandle window, uint32_t id) const;
  std::string SheetRefusesInput();
  std::string PageControlRefuses(uint32_t id, HWND& control);
  std::string PressWizardButton(int button, const Accepted& accepted);
  /// A timer of `window` fired (or was fired by a jump): it is next due an interval later.
  void NoteTimerFired(HWND window, uintptr_t id);
  /// Fires the timer due first now, when the program is idle and it is not due yet.
  void JumpToNextTimer();

  /// The idle window's timer, which looks whether a clock that may jump can jump.
  static constexpr UINT_PTR kJumpTimer = 1;
  /// A timer the controllers set, for the jumps.
  struct TimerDue {
    uint32_t milliseconds = 0;
    std::chrono::steady_clock::time_point due;
  };

  HINSTANCE module_;
  Language language_;
  WizardResources resources_;
  platform::win32::Win32WindowPort post_;
  ViewPorts ports_;
  ScreenObserver* observer_ = nullptr;
  HHOOK cbtHook_ = nullptr;
  HWND idleWindow_ = nullptr;
  HICON sheetIcon_ = nullptr;

  std::map<HWND, std::unique_ptr<WindowRecord>> windows_;
  std::vector<std::unique_ptr<WindowRecord>> unattached_;
  std::vector<MessageBoxRecord*> boxes_;
  bool capturingBox_ = false;

  // The sheet while it runs.
  HWND sheet_ = nullptr;
  bool expectingSheet_ = false;
  WNDPROC sheetOriginalProc_ = nullptr;
  WindowProcedure* sheetProcedure_ = nullptr;
  std::vector<std::unique_ptr<WindowRecord>> pageRecords_;
  std::vector<uint32_t> pageTemplates_;
  /// The page area in the sheet's client coordinates once FitSheetToPages has run.
  RECT pageArea_{};

  std::optional<int> quitCode_;

  std::map<std::pair<HWND, uintptr_t>, TimerDue> timers_;
  std::function<bool()> jumpWhenIdle_;

  // Shared with other threads.
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> inputs_;
  bool idlePending_ = false;
};

}  // namespace kestrune::ui::win32
