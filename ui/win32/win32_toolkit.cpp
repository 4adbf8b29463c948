// The toolkit's windows: the bridge from dialog procedures to the controllers, the idle
// notice for front ends, and the window operations.
#include "platform/win32/windows_support.h"

#include "ui/win32/win32_toolkit.h"

#include <commctrl.h>
#include <dbt.h>

#include <cwchar>

#include "wizard/window_messages.h"

namespace kestrune::ui::win32 {
namespace {

/// The toolkit of the UI thread, for the hook (hooks carry no context of their own).
thread_local Win32Toolkit* t_toolkit = nullptr;

constexpr wchar_t kIdleWindowClass[] = L"KestruneIdleWindow";
/// Posted to the idle window: look whether the queue has run empty.
constexpr UINT kIdleWake = WM_APP + 0x0F00;
/// The system's own timer message (caret blinks, scroll repeats), which winuser.h does not name.
constexpr UINT kSystemTimer = 0x0118;

HWND AsHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

}  // namespace

std::vector<int> MessageBoxRecord::Buttons() const {
  switch (flags & wm::kMbButtonsMask) {
    case wm::kMbOkCancel:
      return {IDOK, IDCANCEL};
    case wm::kMbYesNo:
      return {IDYES, IDNO};
    default:
      return {IDOK};
  }
}

int MessageBoxRecord::DefaultButton() const {
  const std::vector<int> buttons = Buttons();
  return (flags & wm::kMbDefButton2) != 0 && buttons.size() > 1 ? buttons[1] : buttons[0];
}

Win32Toolkit::Win32Toolkit(HINSTANCE module, Language language)
    : module_(module), language_(language), resources_(module, language), ports_{post_, *this,
                                                                                 *this, *this,
                                                                                 *this, *this,
                                                                                 *this, *this,
                                                                                 *this} {
  t_toolkit = this;
  INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);
  cbtHook_ = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());

  WNDCLASSW idleClass{};
  idleClass.lpfnWndProc = IdleWindowProc;
  idleClass.hInstance = module_;
  idleClass.lpszClassName = kIdleWindowClass;
  RegisterClassW(&idleClass);
  idleWindow_ = CreateWindowExW(0, kIdleWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                module_, nullptr);
  if (idleWindow_ != nullptr)
    SetWindowLongPtrW(idleWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Toolkit::~Win32Toolkit() {
  if (idleWindow_ != nullptr) ::DestroyWindow(idleWindow_);
  if (cbtHook_ != nullptr) UnhookWindowsHookEx(cbtHook_);
  if (sheetIcon_ != nullptr) DestroyIcon(sheetIcon_);
  if (t_toolkit == this) t_toolkit = nullptr;
}

// --- Idle notice and input ---

void Win32Toolkit::PostInput(std::function<void()> action) {
  {
    std::lock_guard lock(mutex_);
    inputs_.push_back(std::move(action));
    if (idlePending_) return;
    idlePending_ = true;
  }
  PostMessageW(idleWindow_, kIdleWake, 0, 0);
}

bool Win32Toolkit::Busy() const {
  std::lock_guard lock(mutex_);
  return !inputs_.empty() || idlePending_;
}

void Win32Toolkit::ScheduleIdle() {
  {
    std::lock_guard lock(mutex_);
    if (idlePending_) return;
    idlePending_ = true;
  }
  PostMessageW(idleWindow_, kIdleWake, 0, 0);
}

LRESULT CALLBACK Win32Toolkit::IdleWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == kIdleWake || (message == WM_TIMER && wParam == kJumpTimer)) {
    auto* toolkit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (toolkit == nullptr) return 0;
    if (message == kIdleWake) {
      toolkit->OnIdleWake();
    } else {
      toolkit->JumpToNextTimer();
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Toolkit::OnIdleWake() {
  // Posted messages still wait: look again behind them, as the queue is first-in first-out.
  // A waiting quit or timer does not count: the system hands those out only once no posted
  // message waits, so looking again behind one would keep it from ever coming (a timer due
  // during a message box would stop the inputs and the timer alike).
  // (A peek that excludes them still answers them under wine, so they are told apart by
  // their numbers.)
  MSG waiting;
  if (PeekMessageW(&waiting, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD | (QS_POSTMESSAGE << 16)) &&
      waiting.message != WM_QUIT && waiting.message != WM_TIMER &&
      waiting.message != kSystemTimer) {
    PostMessageW(idleWindow_, kIdleWake, 0, 0);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    idlePending_ = false;
  }
  if (observer_ != nullptr) observer_->OnIdle();
  std::function<void()> input;
  {
    std::lock_guard lock(mutex_);
    if (inputs_.empty()) return;
    input = std::move(inputs_.front());
    inputs_.pop_front();
  }
  // An input may run a nested loop (a message box); the next look is due after it anyway.
  ScheduleIdle();
  input();
}

// --- The bridge ---

LRESULT CALLBACK Win32Toolkit::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  Win32Toolkit* toolkit = t_toolkit;
  if (code == HCBT_CREATEWND && toolkit != nullptr) {
    const auto window = reinterpret_cast<HWND>(wParam);
    const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
    const bool topLevel = (create->lpcs->style & WS_CHILD) == 0;
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    const bool dialog = wcscmp(name, L"#32770") == 0;
    if (topLevel && dialog && toolkit->expectingSheet_) {
      // The sheet: taken over before its first message, so that its controller sees them all.
      toolkit->expectingSheet_ = false;
      toolkit->OnSheetCreated(window);
    } else if (topLevel && dialog && toolkit->capturingBox_ && !toolkit->boxes_.empty()) {
      toolkit->capturingBox_ = false;
      MessageBoxRecord& box = *toolkit->boxes_.back();
      box.window = window;
      if (box.presetAnswer != 0) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(box.presetAnswer, BN_CLICKED), 0);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

Win32Toolkit::WindowRecord* Win32Toolkit::NewRecord(WindowProcedure& procedure,
                                                    uint32_t templateId) {
  auto record = std::make_unique<WindowRecord>();
  record->toolkit = this;
  record->procedure = &procedure;
  record->templateId = templateId;
  WindowRecord* made = record.get();
  unattached_.push_back(std::move(record));
  return made;
}

void Win32Toolkit::Attach(HWND window, WindowRecord* record) {
  for (auto it = unattached_.begin(); it != unattached_.end(); ++it) {
    if (it->get() != record) continue;
    windows_[window] = std::move(*it);
    unattached_.erase(it);
    break;
  }
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
  record->procedure->AttachWindow(reinterpret_cast<WindowHandle>(window));
}

void Win32Toolkit::ForgetUnattached(WindowRecord* record) {
  std::erase_if(unattached_, [record](const auto& r) { return r.get() == record; });
}

INT_PTR CALLBACK Win32Toolkit::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* record = reinterpret_cast<WindowRecord*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    // lParam: the record the creating call made (NewRecord).
    record = reinterpret_cast<WindowRecord*>(lParam);
    record->toolkit->Attach(window, record);
  }
  if (record == nullptr) return FALSE;
  return record->toolkit->HandleDialogMessage(*record, window, message, wParam, lParam);
}

INT_PTR CALLBACK Win32Toolkit::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* record = reinterpret_cast<WindowRecord*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    // lParam: the sheet's copy of the page's PROPSHEETPAGEW, whose lParam is the record the
    // sheet owns.
    const auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    record = reinterpret_cast<WindowRecord*>(page->lParam);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    record->procedure->AttachWindow(reinterpret_cast<WindowHandle>(window));
  }
  if (record == nullptr) return FALSE;
  return record->toolkit->HandleDialogMessage(*record, window, message, wParam, lParam);
}

HBRUSH Win32Toolkit::WhiteLook(UINT message, WPARAM wParam) {
  if (message != WM_CTLCOLORDLG && message != WM_CTLCOLORSTATIC) return nullptr;
  const auto dc = reinterpret_cast<HDC>(wParam);
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
  return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

INT_PTR Win32Toolkit::HandleDialogMessage(WindowRecord& record, HWND window, UINT message,
                                          WPARAM wParam, LPARAM lParam) {
  WindowProcedure& procedure = *record.procedure;
  intptr_t result = 0;
  // A page made after the sheet stood takes the page area's size before it first shows.
  if (record.page && message == WM_SHOWWINDOW && wParam != 0) FitPage(window);
  switch (message) {
    case WM_INITDIALOG:
      Deliver(procedure, wm::kInitDialog, 0, 0, result);
      return result;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      if (record.page) return reinterpret_cast<INT_PTR>(WhiteLook(message, wParam));
      return FALSE;
    case WM_COMMAND:
      // From a control, only the clicks and the selection change the host toolkit reports;
      // focus and edit notes would reach the controllers on Windows alone.
      if (lParam != 0 && HIWORD(wParam) != BN_CLICKED && HIWORD(wParam) != CBN_SELCHANGE) {
        return FALSE;
      }
      if (!Deliver(procedure, message, wParam, lParam, result)) return FALSE;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      // Only what the controllers speak of, as the host toolkit sends it: the list's clicks
      // and keys, and Next and Back. The sheet's other notes (PSN_SETACTIVE...) and the
      // list's item changes stay with comctl32.
      if (header->code != NM_CLICK && header->code != NM_DBLCLK && header->code != LVN_KEYDOWN &&
          header->code != PSN_WIZNEXT && header->code != PSN_WIZBACK) {
        return FALSE;
      }
      wm::NotifyInfo info;
      info.idFrom = static_cast<uint32_t>(header->idFrom);
      info.code = static_cast<int32_t>(header->code);
      if (header->code == NM_CLICK || header->code == NM_DBLCLK) {
        const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        info.item = click->iItem;
        info.subItem = click->iSubItem;
      } else if (header->code == LVN_KEYDOWN) {
        info.key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
      }
      if (!Deliver(procedure, wm::kNotify, wParam, reinterpret_cast<LPARAM>(&info), result)) {
        return FALSE;
      }
      SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_NCDESTROY:
      procedure.AttachWindow(nullptr);
      SetWindowLongPtrW(window, DWLP_USER, 0);
      if (!record.page) windows_.erase(window);  // the record goes with it
      return FALSE;
    default:
      if (!Deliver(procedure, message, wParam, lParam, result)) return FALSE;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

// --- WindowView ---

bool Win32Toolkit::IsWindow(WindowHandle window) { return ::IsWindow(AsHwnd(window)) != FALSE; }

void Win32Toolkit::EnableWindow(WindowHandle window, bool enable) {
  ::EnableWindow(AsHwnd(window), enable ? TRUE : FALSE);
}

bool Win32Toolkit::IsWindowEnabled(WindowHandle window) {
  return ::IsWindowEnabled(AsHwnd(window)) != FALSE;
}

void Win32Toolkit::ShowWindow(WindowHandle window, bool show) {
  ::ShowWindow(AsHwnd(window), show ? SW_SHOW : SW_HIDE);
}

void Win32Toolkit::SetCaption(WindowHandle window, const std::wstring& text) {
  SetWindowTextW(AsHwnd(window), text.c_str());
}

void Win32Toolkit::BringToFront(WindowHandle window) {
  HWND target = GetAncestor(AsHwnd(window), GA_ROOT);
  if (target == nullptr) return;
  // The system lets a thread take the foreground only from the thread that has it, so this
  // thread joins the foreground thread's input for the moment.
  const DWORD self = GetCurrentThreadId();
  HWND foreground = GetForegroundWindow();
  const DWORD other = foreground == nullptr ? 0 : GetWindowThreadProcessId(foreground, nullptr);
  const bool attached = other != 0 && other != self && AttachThreadInput(self, other, TRUE);
  SetForegroundWindow(target);
  BringWindowToTop(target);
  if (attached) AttachThreadInput(self, other, FALSE);
}

void Win32Toolkit::DestroyWindow(WindowHandle window) { ::DestroyWindow(AsHwnd(window)); }

uint32_t Win32Toolkit::TemplateOf(HWND window) const {
  for (size_t i = 0; i < pageRecords_.size(); ++i) {
    if (pageRecords_[i]->procedure->window() == reinterpret_cast<WindowHandle>(window)) {
      return pageRecords_[i]->templateId;
    }
  }
  const auto it = windows_.find(window);
  return it == windows_.end() ? 0 : it->second->templateId;
}

// --- TimerView ---

HWND Win32Toolkit::Control(WindowHandle window, uint32_t id) const {
  return GetDlgItem(AsHwnd(window), static_cast<int>(id));
}

}  // namespace kestrune::ui::win32
