#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/host/control_models.h"
#include "ui/host/message_loop.h"
#include "wizard/strings.h"
#include "wizard/view_ports.h"

namespace kestrune::ui::host {

/// A message box while it is open.
struct MessageBoxState {
  uint32_t id = 0;  ///< string id of the text
  std::wstring text;
  uint32_t flags = 0;
  int answer = 0;
  bool answered = false;

  /// The buttons in order: wm::kIdOk; kIdOk, kIdCancel; or kIdYes, kIdNo.
  std::vector<int> Buttons() const;
  int DefaultButton() const;
};

/// A window of the host toolkit: the sheet, a page, or a dialog.
struct HostWindow {
  enum class Kind { kSheet, kPage, kDialog };

  WindowHandle handle = nullptr;
  WindowProcedure* procedure = nullptr;
  Kind kind = Kind::kDialog;
  uint32_t templateId = 0;
  WindowHandle owner = nullptr;  ///< the sheet of a page, the owner of a dialog
  std::wstring caption;
  bool enabled = true;
  bool visible = false;
  bool modal = false;
  bool modalEnded = false;
  intptr_t modalResult = 0;
  std::vector<ControlModel> controls;

  ControlModel* Control(uint32_t id);
  const ControlModel* Control(uint32_t id) const;
};

/// What a front end of the host toolkit is told; all calls on the UI thread.
class ScreenObserver {
 public:
  virtual ~ScreenObserver() = default;
  /// The posted queue ran empty: the screen is as the user would see it now.
  virtual void OnIdle() {}
  /// A message box opened; the observer may answer it at once (HostToolkit::AnswerBox).
  virtual void OnMessageBoxOpened(const MessageBoxState&) {}
  virtual void OnMessageBoxClosed(const MessageBoxState&) {}
  /// The sheet closed with `result` (its windows are gone).
  virtual void OnSheetEnded(intptr_t) {}
};

/// The wizard's view ports on Linux: windows built from the dialog templates with control
/// models that a front end draws (or, for the scripted front end, reports), on the UI
/// thread's MessageLoop. The front end acts through the input operations below, which
/// behave as the user's clicks and keys do on Windows (a disabled window takes no input).
class HostToolkit : public WindowView,
                    public ControlView,
                    public ComboView,
                    public ListView,
                    public ProgressView,
                    public TimerView,
                    public DialogView,
                    public SheetView {
 public:
  /// Wizard button control ids of the sheet, besides Cancel (wm::kIdCancel).
  static constexpr uint32_t kBackButton = 0x3023;
  static constexpr uint32_t kNextButton = 0x3024;

  explicit HostToolkit(Language language = Language::kEnglish);
  ~HostToolkit() override;
  HostToolkit(const HostToolkit&) = delete;
  HostToolkit& operator=(const HostToolkit&) = delete;

  MessageLoop& loop() { return loop_; }
  /// The language of the template texts of windows created from now on.
  void SetLanguage(Language language) { language_ = language; }
  /// Every port, for the wizard.
  ViewPorts& ports() { return ports_; }
  void SetObserver(ScreenObserver* observer) { observer_ = observer; }

  // --- What a front end reads (UI thread) ---
  const HostWindow* Window(WindowHandle window) const;
  /// The sheet window, null when there is none (any thread).
  WindowHandle SheetWindow() const { return sheetWindow_; }
  /// The template of the page that shows (0 none) and its window.
  uint32_t ActivePageTemplate() const;
  const HostWindow* ActivePageWindow() const;
  /// The page window of `templateId` once created.
  const HostWindow* PageWindowOf(uint32_t templateId) const;
  uint32_t WizardButtons() const { return wizardButtons_; }
  const std::vector<MessageBoxState*>& OpenBoxes() const { return boxes_; }
  /// True while a modal dialog (not a message box) runs.
  bool ModalDialogRunning() const;
  /// Every dialog window (not the sheet or a page), oldest first.
  std::vector<const HostWindow*> Dialogs() const;

  // --- Input (UI thread). Each returns an empty text when done, or why it does not fit the
  // screen. `accepted` runs once the input has been found to fit, before its effects (which
  // may open message boxes and run nested loops).
  using Accepted = std::function<void()>;
  std::string PressNext(const Accepted& accepted = {});
  std::string PressBack(const Accepted& accepted = {});
  std::string PressCancel(const Accepted& accepted = {});
  /// The sheet's close request (title-bar close, Alt+F4, Ctrl-C): offered to the sheet even
  /// while it is disabled.
  std::string RequestClose(const Accepted& accepted = {});
  std::string AnswerBox(int button, const Accepted& accepted = {});
  /// Selects entry `index` of combo `id` of the page that shows and notifies the page.
  std::string SelectComboItem(uint32_t id, int index, const Accepted& accepted = {});
  /// Clicks check box or radio button `id` of the page that shows into state `checked`.
  std::string ClickButton(uint32_t id, bool checked, const Accepted& accepted = {});
  /// Ticks or unticks row `row` of list `id` of the page that shows, as a click on its box.
  std::string ClickListCheck(uint32_t id, int row, bool checked, const Accepted& accepted = {});
  /// The session ends (shutdown, logoff, or the script gave up): the sheet is told, and
  /// every loop ends with `exitCode`.
  void EndSession(int exitCode);

  /// Posts a device notification to the sheet (any thread): `event` a wm::kDbt... code,
  /// for volumes the unit mask and flags.
  void PostDeviceChange(uint32_t event, uint32_t unitMask, uint16_t flags);

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

  /// RunSheet without its loop: creates the sheet and shows its first page (for tests and
  /// front ends that run the loop themselves). CloseSheet destroys it.
  void OpenSheet(WindowProcedure& sheet, const std::wstring& caption,
                 std::span<const SheetPage> pages);
  /// Destroys the open sheet and its pages; tells the observer `result`.
  void CloseSheet(intptr_t result);
  /// True once the sheet was cancelled or closed by its default processing.
  bool SheetEnded() const { return sheetEnded_; }

  // SheetView
  intptr_t RunSheet(WindowProcedure& sheet, const std::wstring& caption,
                    std::span<const SheetPage> pages) override;
  int ActivePage(WindowHandle sheet) override;
  WindowHandle PageWindow(WindowHandle sheet, int index) override;

 private:
  struct Page {
    WindowProcedure* procedure = nullptr;
    uint32_t templateId = 0;
    WindowHandle window = nullptr;
  };

  HostWindow* Find(WindowHandle window);
  const HostWindow* Find(WindowHandle window) const;
  ControlModel* Find(WindowHandle window, uint32_t id);
  HostWindow& CreateWindow(WindowProcedure& procedure, HostWindow::Kind kind, uint32_t templateId,
                           WindowHandle owner);
  /// Sends a message straight to a window's procedure, then the default processing.
  intptr_t Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  bool DefaultProcessing(HostWindow& window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  void Dispatch(const LoopMessage& message);
  void Activate(int index);
  void EndSheet(intptr_t result);
  /// Why the sheet takes no click now; empty when it does.
  std::string SheetRefusesInput() const;
  /// Finds control `id` of the page that shows, usable by the user; why not otherwise.
  std::string PageControlRefuses(uint32_t id, ControlModel*& control);
  std::string PressWizardButton(bool next, const Accepted& accepted);

  Language language_;
  MessageLoop loop_;
  ViewPorts ports_;
  ScreenObserver* observer_ = nullptr;
  std::map<WindowHandle, std::unique_ptr<HostWindow>> windows_;
  std::vector<MessageBoxState*> boxes_;

  std::atomic<WindowHandle> sheetWindow_{nullptr};
  std::vector<Page> pages_;
  int activePage_ = -1;
  uint32_t wizardButtons_ = 0;
  bool sheetEnded_ = false;
  intptr_t sheetResult_ = 0;
};

}  // namespace kestrune::ui::host
