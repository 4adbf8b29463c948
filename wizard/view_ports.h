#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/window_port.h"

// The view ports: everything the wizard's controllers ask of a window toolkit. A front end
// (the Win32 property sheet, the host toolkit with its terminal or scripted front end, the
// fakes of the unit tests) implements them; the controllers know nothing else of it.
//
// Rules every implementation keeps (they are those of Windows):
// - All calls come from the UI thread, except WindowPort::Post and IsWindow (any thread).
// - Posted messages are delivered in order by the UI thread's message loop; a post to a
//   window that no longer exists fails. Timers deliver wm::kTimer only when no posted message
//   waits, at most one pending tick per timer.
// - Modal calls (ShowMessage, RunModal, RunSheet) run a nested message loop: other windows
//   go on receiving their posted messages and timer ticks meanwhile. A quit request ends
//   every nested loop (a message box then answers 0) and then the outermost one.
// - Controls are addressed by their window and id (ids from the dialog templates,
//   wizard/dialog_templates.h). A call on a missing control does nothing and reads as empty.

namespace kestrune {

/// One window's procedure: a controller of the wizard (sheet, page, dialog). The toolkit
/// attaches the window before its first message (wm::kInitDialog) and detaches it after
/// wm::kDestroy; the controller object outlives its window.
class WindowProcedure {
 public:
  virtual ~WindowProcedure() = default;

  /// Handles one message. True when handled, with `result` the answer; false asks for the
  /// toolkit's default processing (a page's default answer to kPsnWizNext is 0, the sheet's
  /// default for kSysCommand/kScClose and for the Cancel command closes the sheet).
  virtual bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) = 0;

  WindowHandle window() const { return window_; }
  /// For the toolkit only.
  void AttachWindow(WindowHandle window) { window_ = window; }

 private:
  WindowHandle window_ = nullptr;
};

/// Windows as a whole.
class WindowView {
 public:
  virtual ~WindowView() = default;
  [[nodiscard]] virtual bool IsWindow(WindowHandle window) = 0;
  /// A disabled window takes no input (its buttons included).
  virtual void EnableWindow(WindowHandle window, bool enable) = 0;
  [[nodiscard]] virtual bool IsWindowEnabled(WindowHandle window) = 0;
  virtual void ShowWindow(WindowHandle window, bool show) = 0;
  /// The caption of a window.
  virtual void SetCaption(WindowHandle window, const std::wstring& text) = 0;
  /// Brings the window's top-level window to the foreground, above other programs.
  virtual void BringToFront(WindowHandle window) = 0;
  /// Destroys the window: it gets wm::kDestroy, its timers stop, later posts to it fail.
  virtual void DestroyWindow(WindowHandle window) = 0;
};

/// Any control by id: statics, edits, group boxes, buttons, check and radio buttons.
class ControlView {
 public:
  virtual ~ControlView() = default;
  virtual void SetText(WindowHandle window, uint32_t id, const std::wstring& text) = 0;
  [[nodiscard]] virtual std::wstring GetText(WindowHandle window, uint32_t id) = 0;
  virtual void Enable(WindowHandle window, uint32_t id, bool enable) = 0;
  [[nodiscard]] virtual bool IsEnabled(WindowHandle window, uint32_t id) = 0;
  virtual void Show(WindowHandle window, uint32_t id, bool show) = 0;
  /// Check boxes and radio buttons.
  virtual void SetCheck(WindowHandle window, uint32_t id, bool checked) = 0;
  [[nodiscard]] virtual bool GetCheck(WindowHandle window, uint32_t id) = 0;
};

/// A drop-down list combo box whose entries carry a 32-bit item data each. Entries stay in
/// the order added (no sorting).
class ComboView {
 public:
  virtual ~ComboView() = default;
  virtual void ResetContent(WindowHandle window, uint32_t id) = 0;
  /// Appends an entry; its index.
  virtual int AddItem(WindowHandle window, uint32_t id, const std::wstring& text,
                      uint32_t data) = 0;
  [[nodiscard]] virtual int ItemCount(WindowHandle window, uint32_t id) = 0;
  /// The selected index, -1 none.
  [[nodiscard]] virtual int GetSelection(WindowHandle window, uint32_t id) = 0;
  /// Selects `index` (-1 selects nothing). Sends no notification.
  virtual void SetSelection(WindowHandle window, uint32_t id, int index) = 0;
  [[nodiscard]] virtual std::wstring ItemText(WindowHandle window, uint32_t id, int index) = 0;
  [[nodiscard]] virtual uint32_t ItemData(WindowHandle window, uint32_t id, int index) = 0;
};

/// Column alignment of a list view.
enum class ColumnAlign { kLeft, kCenter };

/// A list view in report style: rows with texts per column, an optional check box and an
/// image from the list's image list, and an item data each.
class ListView {
 public:
  virtual ~ListView() = default;
  /// Width of the list's client area in pixels.
  [[nodiscard]] virtual int ClientWidth(WindowHandle window, uint32_t id) = 0;
  virtual void InsertColumn(WindowHandle window, uint32_t id, int column,
                            const std::wstring& heading, ColumnAlign align, int width) = 0;
  /// Gives every row a check box.
  virtual void EnableCheckBoxes(WindowHandle window, uint32_t id) = 0;
  /// The images rows may show: icon resource ids, indexed from 0 in this order.
  virtual void SetImageList(WindowHandle window, uint32_t id,
                            std::span<const uint32_t> iconIds) = 0;
  virtual void DeleteAllItems(WindowHandle window, uint32_t id) = 0;
  [[nodiscard]] virtual int ItemCount(WindowHandle window, uint32_t id) = 0;
  /// Inserts a row at `row` (at the end when beyond it) with column 0's text and image; its
  /// index. New rows are unchecked and have item data 0.
  virtual int InsertItem(WindowHandle window, uint32_t id, int row, const std::wstring& text,
                         int image) = 0;
  virtual void SetItemText(WindowHandle window, uint32_t id, int row, int column,
                           const std::wstring& text) = 0;
  [[nodiscard]] virtual std::wstring GetItemText(WindowHandle window, uint32_t id, int row,
                                                 int column) = 0;
  virtual void SetItemImage(WindowHandle window, uint32_t id, int row, int image) = 0;
  virtual void SetCheckState(WindowHandle window, uint32_t id, int row, bool checked) = 0;
  [[nodiscard]] virtual bool GetCheckState(WindowHandle window, uint32_t id, int row) = 0;
  virtual void SetItemData(WindowHandle window, uint32_t id, int row, intptr_t data) = 0;
  [[nodiscard]] virtual intptr_t GetItemData(WindowHandle window, uint32_t id, int row) = 0;
};

/// A progress bar.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void SetRange(WindowHandle window, uint32_t id, int low, int high) = 0;
  virtual void SetPosition(WindowHandle window, uint32_t id, int position) = 0;
  [[nodiscard]] virtual int GetPosition(WindowHandle window, uint32_t id) = 0;
  /// A marquee bar moves by itself every `intervalMs` while on.
  virtual void SetMarquee(WindowHandle window, uint32_t id, bool on, uint32_t intervalMs) = 0;
};

/// Timers of a window: wm::kTimer with the timer's id. Setting a running timer restarts it.
class TimerView {
 public:
  virtual ~TimerView() = default;
  /// False when the timer cannot be created.
  [[nodiscard]] virtual bool SetTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) = 0;
  virtual void KillTimer(WindowHandle window, uintptr_t id) = 0;
  /// The timers' clock in milliseconds from some start: it runs as the timers do, jumps
  /// included.
  [[nodiscard]] virtual uint64_t NowMilliseconds() = 0;
};

/// Message boxes and dialogs.
class DialogView {
 public:
  virtual ~DialogView() = default;

  /// Shows the message with the application title as caption and waits for the answer
  /// (wm::kIdOk, kIdCancel, kIdYes, kIdNo; 0 when the application is quitting). `flags`
  /// are wm::kMb... flags. `owner` (may be null) is disabled meanwhile. `stringId` names the
  /// text for front ends that report it; the text itself is already formatted.
  virtual int ShowMessage(WindowHandle owner, uint32_t stringId, const std::wstring& text,
                          uint32_t flags) = 0;

  /// Creates a dialog on template `templateId` for `dialog`, sends it wm::kInitDialog and
  /// runs it modally with `owner` disabled until EndModal; destroys it and returns the result.
  /// Returns 0 at once when the application is quitting. The dialog shows itself
  /// (WindowView::ShowWindow) when it wants to be seen.
  [[nodiscard]] virtual intptr_t RunModal(WindowProcedure& dialog, uint32_t templateId,
                                          WindowHandle owner) = 0;
  /// Ends the modal run of `dialog` with `result` once its current message returns.
  virtual void EndModal(WindowHandle dialog, intptr_t result) = 0;

  /// Creates a hidden modeless dialog on template `templateId` owned by `owner` and sends it
  /// wm::kInitDialog. Null when it cannot be created.
  [[nodiscard]] virtual WindowHandle CreateModeless(WindowProcedure& dialog, uint32_t templateId,
                                                    WindowHandle owner) = 0;

  /// Asks the message loop to end with `exitCode` (PostQuitMessage).
  virtual void PostQuit(int exitCode) = 0;
};

/// One page of the sheet.
struct SheetPage {
  WindowProcedure* procedure;
  uint32_t templateId;
};

/// The wizard-style property sheet.
class SheetView {
 public:
  virtual ~SheetView() = default;

  /// Creates the sheet window for `sheet` with `caption` and the pages (their windows are
  /// created when first shown: wm::kInitDialog, then wm::kShowWindow), sends the sheet
  /// wm::kInitDialog, shows the first page and runs the sheet modally until it closes
  /// (Cancel or close accepted) or a quit ends the loop. Destroys the sheet (wm::kDestroy to
  /// the sheet, then to each page window) and returns the quit's exit code, or wm::kIdCancel
  /// when the sheet was cancelled or closed.
  ///
  /// The toolkit handles wm::kSetWizButtons posted to the sheet (the Back and Next buttons),
  /// Next and Back (wm::kPsnWizNext / kPsnWizBack to the active page, then the neighbouring
  /// page), and offers Cancel (command wm::kIdCancel, control id 2 of the sheet) and the
  /// close command (kSysCommand, kScClose) to the sheet's procedure first.
  virtual intptr_t RunSheet(WindowProcedure& sheet, const std::wstring& caption,
                            std::span<const SheetPage> pages) = 0;

  /// Index of the page that shows, -1 none.
  [[nodiscard]] virtual int ActivePage(WindowHandle sheet) = 0;
  /// The window of page `index`, null while it has none.
  [[nodiscard]] virtual WindowHandle PageWindow(WindowHandle sheet, int index) = 0;
};

/// Every port a front end supplies, by reference.
struct ViewPorts {
  platform::WindowPort& post;
  WindowView& windows;
  ControlView& controls;
  ComboView& combos;
  ListView& lists;
  ProgressView& progress;
  TimerView& timers;
  DialogView& dialogs;
  SheetView& sheets;
};

}  // namespace kestrune
