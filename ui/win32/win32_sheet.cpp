// The wizard sheet: comctl32's property sheet in wizard style, taken over as it is created so
// that its controller sees every message first, and turned into a plain window without caption,
// border or system menu once it stands.
#include "platform/win32/windows_support.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <cwchar>

#include "ui/win32/win32_toolkit.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::win32 {
namespace {

/// Messages after which the screen may look different; a front end looks again once the
/// queue is empty. (Others, such as painting or the front end's own reading, would only make
/// it look again and again.)
bool MayChangeScreen(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_DESTROY:
    case WM_SHOWWINDOW:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_NOTIFY:
    case WM_TIMER:
    case WM_DEVICECHANGE:
    case WM_ENDSESSION:
    case PSM_SETWIZBUTTONS:
      return true;
    default:
      return message >= WM_APP;
  }
}

INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

/// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

/// The size in pixels a page template needs in its own font: the dialog manager alone knows
/// that font's base units, so the template is made into a hidden child of `parent` just long
/// enough to measure it. Its controls count too, as their positions and sizes are rounded
/// apart: one at the bottom edge may end a pixel below the template's own height.
SIZE TemplatePixels(HINSTANCE module, const DLGTEMPLATE* source, HWND parent) {
  CompiledTemplate header;
  if (!ReadCompiledTemplate(source, header)) return {};
  HWND measure = CreateDialogIndirectParamW(module, source, parent, MeasureProc, 0);
  if (measure == nullptr) return {};
  RECT need{0, 0, header.width, header.height};
  MapDialogRect(measure, &need);
  for (HWND control = GetWindow(measure, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    const RECT rect = RectInParent(control);
    need.right = std::max(need.right, rect.right);
    need.bottom = std::max(need.bottom, rect.bottom);
  }
  ::DestroyWindow(measure);
  return {need.right, need.bottom};
}

bool IsDialog(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  return wcscmp(name, L"#32770") == 0;
}

}  // namespace

bool Win32Toolkit::Deliver(WindowProcedure& procedure, UINT message, WPARAM wParam, LPARAM lParam,
                           intptr_t& result) {
  result = 0;
  if (message == WM_TIMER) NoteTimerFired(reinterpret_cast<HWND>(procedure.window()), wParam);
  const bool handled = procedure.OnMessage(message, wParam, lParam, result);
  if (handled || MayChangeScreen(message)) ScheduleIdle();
  return handled;
}

intptr_t Win32Toolkit::RunSheet(WindowProcedure& sheet, const std::wstring& caption,
                                std::span<const SheetPage> pages) {
  if (quitCode_) return 0;
  pageRecords_.clear();
  std::vector<PROPSHEETPAGEW> sheetPages;
  for (const SheetPage& page : pages) {
    auto record = std::make_unique<WindowRecord>();
    record->toolkit = this;
    record->procedure = page.procedure;
    record->templateId = page.templateId;
    record->page = true;
    PROPSHEETPAGEW sheetPage{};
    sheetPage.dwSize = sizeof sheetPage;
    sheetPage.dwFlags = PSP_DLGINDIRECT;
    sheetPage.hInstance = module_;
    sheetPage.pResource = resources_.DialogTemplate(page.templateId);
    sheetPage.pfnDlgProc = PageProc;
    sheetPage.lParam = reinterpret_cast<LPARAM>(record.get());
    if (sheetPage.pResource == nullptr) return 0;
    sheetPages.push_back(sheetPage);
    pageRecords_.push_back(std::move(record));
  }
  if (sheetIcon_ == nullptr) {
    sheetIcon_ = static_cast<HICON>(
        LoadImageW(module_, MAKEINTRESOURCEW(128), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  }
  PROPSHEETHEADERW header{};
  header.dwSize = sizeof header;
  header.dwFlags = kSheetFlags;
  header.hwndParent = nullptr;
  header.hInstance = module_;
  header.hIcon = sheetIcon_;
  header.pszCaption = caption.c_str();
  header.nPages = static_cast<UINT>(sheetPages.size());
  header.nStartPage = 0;
  header.ppsp = sheetPages.data();
  header.pfnCallback = SheetCallback;

  sheetProcedure_ = &sheet;
  expectingSheet_ = true;
  PropertySheetW(&header);
  expectingSheet_ = false;
  sheetProcedure_ = nullptr;
  sheet_ = nullptr;
  pageArea_ = {};

  // A quit ends the sheet's loop, which hands the quit on; it was meant for the sheet.
  intptr_t result = wm::kIdCancel;
  if (quitCode_) {
    result = *quitCode_;
    quitCode_.reset();
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  pageRecords_.clear();
  if (observer_ != nullptr) observer_->OnSheetEnded(result);
  return result;
}

int CALLBACK Win32Toolkit::SheetCallback(HWND, UINT, LPARAM) { return 0; }

void Win32Toolkit::OnSheetCreated(HWND window) {
  sheet_ = window;
  SetPropW(window, L"KestruneToolkit", reinterpret_cast<HANDLE>(this));
  sheetOriginalProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SheetProc)));
  sheetProcedure_->AttachWindow(reinterpret_cast<WindowHandle>(window));
}

LRESULT CALLBACK Win32Toolkit::SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* toolkit = reinterpret_cast<Win32Toolkit*>(GetPropW(window, L"KestruneToolkit"));
  return toolkit->HandleSheetMessage(window, message, wParam, lParam);
}

LRESULT Win32Toolkit::HandleSheetMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC original = sheetOriginalProc_;
  WindowProcedure* procedure = sheetProcedure_;
  intptr_t result = 0;
  switch (message) {
    case WM_INITDIALOG: {
      // The controller first, as the toolkit promises; then comctl32 builds the sheet and its
      // first page, and the sheet becomes a plain window of its size.
      Deliver(*procedure, wm::kInitDialog, 0, 0, result);
      const LRESULT answer = CallWindowProcW(original, window, message, wParam, lParam);
      FitSheetToPages(window);
      RestyleSheet(window);
      return answer;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(WhiteLook(message, wParam));
    case WM_DEVICECHANGE: {
      wm::DeviceBroadcast broadcast;
      const wm::DeviceBroadcast* payload = nullptr;
      if (lParam != 0 && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        broadcast.deviceType = header->dbch_devicetype;
        if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
          const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam);
          broadcast.unitMask = volume->dbcv_unitmask;
          broadcast.flags = volume->dbcv_flags;
        }
        payload = &broadcast;
      }
      Deliver(*procedure, wm::kDeviceChange, wParam, reinterpret_cast<LPARAM>(payload), result);
      return TRUE;
    }
    case WM_DESTROY:
      // A last look at the screen as the sheet leaves it.
      if (observer_ != nullptr) observer_->OnIdle();
      Deliver(*procedure, wm::kDestroy, 0, 0, result);
      break;
    case WM_NCDESTROY:
      procedure->AttachWindow(nullptr);
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      RemovePropW(window, L"KestruneToolkit");
      sheet_ = nullptr;
      return CallWindowProcW(original, window, message, wParam, lParam);
    default:
      if (Deliver(*procedure, message, wParam, lParam, result)) return result;
      break;
  }
  return CallWindowProcW(original, window, message, wParam, lParam);
}

void Win32Toolkit::FitSheetToPages(HWND window) {
  const auto first = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
  if (first == nullptr) return;
  // The area comctl32 made: where it put the first page, as large as the largest template in
  // the sheet's font. What the pages need: the largest template in each page's own font.
  int unitsWide = 0, unitsHigh = 0;
  LONG needWide = 0, needHigh = 0;
  for (const auto& record : pageRecords_) {
    const DLGTEMPLATE* source = resources_.DialogTemplate(record->templateId);
    CompiledTemplate header;
    if (!ReadCompiledTemplate(source, header)) continue;
    unitsWide = std::max(unitsWide, header.width);
    unitsHigh = std::max(unitsHigh, header.height);
    const SIZE need = TemplatePixels(module_, source, window);
    needWide = std::max(needWide, need.cx);
    needHigh = std::max(needHigh, need.cy);
  }
  RECT made{0, 0, unitsWide, unitsHigh};
  MapDialogRect(window, &made);
  const RECT firstRect = RectInParent(first);
  const int growWide = std::max<LONG>(0, needWide - made.right);
  const int growHigh = std::max<LONG>(0, needHigh - made.bottom);
  pageArea_ = {firstRect.left, firstRect.top, firstRect.left + std::max(made.right, needWide),
               firstRect.top + std::max(made.bottom, needHigh)};

  if (growWide > 0 || growHigh > 0) {
    // The sheet's own controls: what lies below the area moves down; what spans most of its
    // width (the line above the buttons) widens; of the rest, what stands mostly in its right
    // half (the buttons) moves right. A button that reaches over the middle, as the Back
    // button does in a wide font, moves with the others rather than widening.
    const LONG areaBottom = firstRect.top + made.bottom;
    const LONG quarter = made.right / 4;
    const LONG middle = firstRect.left + made.right / 2;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (IsDialog(child)) continue;  // a page
      RECT rect = RectInParent(child);
      if (rect.top >= areaBottom) OffsetRect(&rect, 0, growHigh);
      if (rect.left < firstRect.left + quarter && rect.right > firstRect.left + 3 * quarter) {
        rect.right += growWide;
      } else if (rect.left + rect.right >= 2 * middle) {
        OffsetRect(&rect, growWide, 0);
      }
      SetWindowPos(child, nullptr, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT outer{};
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + growWide,
                 outer.bottom - outer.top + growHigh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  for (const auto& record : pageRecords_) {
    if (record->procedure->window() != nullptr) {
      FitPage(reinterpret_cast<HWND>(record->procedure->window()));
    }
  }
}

void Win32Toolkit::FitPage(HWND page) const {
  if (IsRectEmpty(&pageArea_) || GetParent(page) != sheet_) return;
  SetWindowPos(page, nullptr, pageArea_.left, pageArea_.top, pageArea_.right - pageArea_.left,
               pageArea_.bottom - pageArea_.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Toolkit::RestyleSheet(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
  SetWindowLongPtrW(window, GWL_STYLE, style & ~static_cast<LONG_PTR>(kRemovedStyle));
  SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(kRemovedExStyle));
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  SetWindowPos(window, nullptr, 0, 0, width, height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  // Centred over the owner, or over the work area of the screen it is on.
  RECT area{};
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner == nullptr || !GetWindowRect(owner, &area)) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Toolkit::ActivePage(WindowHandle sheet) {
  if (sheet == nullptr || reinterpret_cast<HWND>(sheet) != sheet_) return -1;
  const auto page = reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
  if (page == nullptr) return -1;
  for (size_t i = 0; i < pageRecords_.size(); ++i) {
    if (pageRecords_[i]->procedure->window() == reinterpret_cast<WindowHandle>(page)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

WindowHandle Win32Toolkit::PageWindow(WindowHandle sheet, int index) {
  if (sheet == nullptr || reinterpret_cast<HWND>(sheet) != sheet_) return nullptr;
  if (index < 0 || index >= static_cast<int>(pageRecords_.size())) return nullptr;
  return pageRecords_[static_cast<size_t>(index)]->procedure->window();
}

uint32_t Win32Toolkit::ActivePageTemplate() {
  const int index = ActivePage(reinterpret_cast<WindowHandle>(sheet_));
  return index < 0 ? 0 : pageRecords_[static_cast<size_t>(index)]->templateId;
}

HWND Win32Toolkit::ActivePageWindow() {
  const int index = ActivePage(reinterpret_cast<WindowHandle>(sheet_));
  return index < 0 ? nullptr
                   : reinterpret_cast<HWND>(
                         pageRecords_[static_cast<size_t>(index)]->procedure->window());
}

HWND Win32Toolkit::PageWindowOf(uint32_t templateId) {
  for (const auto& record : pageRecords_) {
    if (record->templateId == templateId) {
      return reinterpret_cast<HWND>(record->procedure->window());
    }
  }
  return nullptr;
}

uint32_t Win32Toolkit::WizardButtons() {
  if (sheet_ == nullptr) return 0;
  uint32_t buttons = 0;
  HWND back = GetDlgItem(sheet_, kBackButton);
  HWND next = GetDlgItem(sheet_, kNextButton);
  if (back != nullptr && ::IsWindowEnabled(back)) buttons |= wm::kWizButtonBack;
  if (next != nullptr && ::IsWindowEnabled(next) &&
      (GetWindowLongPtrW(next, GWL_STYLE) & WS_VISIBLE) != 0) {
    buttons |= wm::kWizButtonNext;
  }
  return buttons;
}

}  // namespace kestrune::ui::win32
