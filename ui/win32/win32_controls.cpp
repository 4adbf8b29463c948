// The controls of the wizard's windows, addressed by window and id: statics, buttons, the
// combo box, list views and progress bars, each through its own messages.
#include "platform/win32/windows_support.h"

#include <commctrl.h>

#include <cwchar>

#include "ui/win32/win32_toolkit.h"

namespace kestrune::ui::win32 {
namespace {

std::wstring WindowText(HWND window) {
  if (window == nullptr) return {};
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

bool IsClass(HWND window, const wchar_t* name) {
  wchar_t actual[64] = {};
  return window != nullptr && GetClassNameW(window, actual, 64) > 0 && _wcsicmp(actual, name) == 0;
}

}  // namespace

// --- ControlView ---

void Win32Toolkit::SetText(WindowHandle window, uint32_t id, const std::wstring& text) {
  if (HWND control = Control(window, id)) SetWindowTextW(control, text.c_str());
}

std::wstring Win32Toolkit::GetText(WindowHandle window, uint32_t id) {
  return WindowText(Control(window, id));
}

void Win32Toolkit::Enable(WindowHandle window, uint32_t id, bool enable) {
  if (HWND control = Control(window, id)) ::EnableWindow(control, enable ? TRUE : FALSE);
}

bool Win32Toolkit::IsEnabled(WindowHandle window, uint32_t id) {
  HWND control = Control(window, id);
  return control != nullptr && ::IsWindowEnabled(control) != FALSE;
}

void Win32Toolkit::Show(WindowHandle window, uint32_t id, bool show) {
  if (HWND control = Control(window, id)) ::ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

void Win32Toolkit::SetCheck(WindowHandle window, uint32_t id, bool checked) {
  if (HWND control = Control(window, id)) {
    SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool Win32Toolkit::GetCheck(WindowHandle window, uint32_t id) {
  HWND control = Control(window, id);
  return control != nullptr && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// --- ComboView ---

void Win32Toolkit::ResetContent(WindowHandle window, uint32_t id) {
  if (HWND combo = Control(window, id)) SendMessageW(combo, CB_RESETCONTENT, 0, 0);
}

int Win32Toolkit::AddItem(WindowHandle window, uint32_t id, const std::wstring& text,
                          uint32_t data) {
  HWND combo = Control(window, id);
  if (combo == nullptr) return -1;
  const auto index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) return -1;
  SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data));
  return static_cast<int>(index);
}

int Win32Toolkit::ItemCount(WindowHandle window, uint32_t id) {
  HWND control = Control(window, id);
  if (control == nullptr) return 0;
  if (IsClass(control, WC_LISTVIEWW)) {
    return static_cast<int>(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0));
  }
  const auto count = SendMessageW(control, CB_GETCOUNT, 0, 0);
  return count < 0 ? 0 : static_cast<int>(count);
}

int Win32Toolkit::GetSelection(WindowHandle window, uint32_t id) {
  HWND combo = Control(window, id);
  if (combo == nullptr) return -1;
  const auto index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  return index < 0 ? -1 : static_cast<int>(index);
}

void Win32Toolkit::SetSelection(WindowHandle window, uint32_t id, int index) {
  if (HWND combo = Control(window, id)) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
}

std::wstring Win32Toolkit::ItemText(WindowHandle window, uint32_t id, int index) {
  HWND combo = Control(window, id);
  if (combo == nullptr) return {};
  const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const auto copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
  return text;
}

uint32_t Win32Toolkit::ItemData(WindowHandle window, uint32_t id, int index) {
  HWND combo = Control(window, id);
  if (combo == nullptr) return 0;
  return static_cast<uint32_t>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

// --- ListView ---

int Win32Toolkit::ClientWidth(WindowHandle window, uint32_t id) {
  RECT client{};
  HWND list = Control(window, id);
  if (list == nullptr || !GetClientRect(list, &client)) return 0;
  return client.right - client.left;
}

void Win32Toolkit::InsertColumn(WindowHandle window, uint32_t id, int column,
                                const std::wstring& heading, ColumnAlign align, int width) {
  HWND list = Control(window, id);
  if (list == nullptr) return;
  LVCOLUMNW info{};
  info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  info.fmt = align == ColumnAlign::kCenter ? LVCFMT_CENTER : LVCFMT_LEFT;
  info.cx = width;
  info.pszText = const_cast<wchar_t*>(heading.c_str());
  info.iSubItem = column;
  SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
               reinterpret_cast<LPARAM>(&info));
}

void Win32Toolkit::EnableCheckBoxes(WindowHandle window, uint32_t id) {
  if (HWND list = Control(window, id)) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  }
}

void Win32Toolkit::SetImageList(WindowHandle window, uint32_t id,
                                std::span<const uint32_t> iconIds) {
  HWND list = Control(window, id);
  if (list == nullptr) return;
  HIMAGELIST images =
      ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, static_cast<int>(iconIds.size()), 0);
  if (images == nullptr) return;
  for (const uint32_t icon : iconIds) {
    // The image list keeps its own copy of each picture.
    HICON handle = resources_.Icon(icon, 16);
    ImageList_AddIcon(images, handle);
    if (handle != nullptr) DestroyIcon(handle);
  }
  // The list destroys its image list with itself (no LVS_SHAREIMAGELISTS); one it had before
  // is handed back and goes now.
  HIMAGELIST previous = reinterpret_cast<HIMAGELIST>(
      SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
  if (previous != nullptr && previous != images) ImageList_Destroy(previous);
}

void Win32Toolkit::DeleteAllItems(WindowHandle window, uint32_t id) {
  if (HWND list = Control(window, id)) SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
}

int Win32Toolkit::InsertItem(WindowHandle window, uint32_t id, int row, const std::wstring& text,
                             int image) {
  HWND list = Control(window, id);
  if (list == nullptr) return -1;
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
  item.iItem = row;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  item.iImage = image;
  item.lParam = 0;
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void Win32Toolkit::SetItemText(WindowHandle window, uint32_t id, int row, int column,
                               const std::wstring& text) {
  HWND list = Control(window, id);
  if (list == nullptr) return;
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::wstring Win32Toolkit::GetItemText(WindowHandle window, uint32_t id, int row, int column) {
  HWND list = Control(window, id);
  if (list == nullptr) return {};
  // The list copies at most the buffer's size; grow it until the text fits.
  for (size_t size = 256; size <= 65536; size *= 4) {
    std::wstring text(size, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(size);
    const auto copied = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                     reinterpret_cast<LPARAM>(&item));
    if (copied < 0) return {};
    if (static_cast<size_t>(copied) < size - 1) {
      text.resize(static_cast<size_t>(copied));
      return text;
    }
  }
  return {};
}

void Win32Toolkit::SetItemImage(WindowHandle window, uint32_t id, int row, int image) {
  HWND list = Control(window, id);
  if (list == nullptr) return;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iImage = image;
  SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int Win32Toolkit::GetItemImage(WindowHandle window, uint32_t id, int row) {
  HWND list = Control(window, id);
  if (list == nullptr) return -1;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  if (SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == FALSE) return -1;
  return item.iImage;
}

void Win32Toolkit::SetCheckState(WindowHandle window, uint32_t id, int row, bool checked) {
  HWND list = Control(window, id);
  if (list == nullptr) return;
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool Win32Toolkit::GetCheckState(WindowHandle window, uint32_t id, int row) {
  HWND list = Control(window, id);
  if (list == nullptr) return false;
  const auto state = static_cast<UINT>(
      SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void Win32Toolkit::SetItemData(WindowHandle window, uint32_t id, int row, intptr_t data) {
  HWND list = Control(window, id);
  if (list == nullptr) return;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = data;
  SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

intptr_t Win32Toolkit::GetItemData(WindowHandle window, uint32_t id, int row) {
  HWND list = Control(window, id);
  if (list == nullptr) return 0;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == FALSE) return 0;
  return item.lParam;
}

// --- ProgressView ---

void Win32Toolkit::SetRange(WindowHandle window, uint32_t id, int low, int high) {
  if (HWND bar = Control(window, id)) {
    SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
  }
}

void Win32Toolkit::SetPosition(WindowHandle window, uint32_t id, int position) {
  if (HWND bar = Control(window, id))
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int Win32Toolkit::GetPosition(WindowHandle window, uint32_t id) {
  HWND bar = Control(window, id);
  return bar == nullptr ? 0 : static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
}

void Win32Toolkit::SetMarquee(WindowHandle window, uint32_t id, bool on, uint32_t intervalMs) {
  if (HWND bar = Control(window, id)) {
    SendMessageW(bar, PBM_SETMARQUEE, on ? TRUE : FALSE, static_cast<LPARAM>(intervalMs));
  }
}

}  // namespace kestrune::ui::win32
