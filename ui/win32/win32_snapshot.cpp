#include "platform/win32/windows_support.h"

#include "ui/win32/win32_snapshot.h"

#include <cstdio>
#include <vector>

namespace kestrune::ui::win32 {
namespace {

BOOL CALLBACK AddWindow(HWND window, LPARAM lParam) {
  auto* area = reinterpret_cast<RECT*>(lParam);
  RECT rect{};
  if (!IsWindowVisible(window) || !GetWindowRect(window, &rect) || IsRectEmpty(&rect)) {
    return TRUE;
  }
  // The picture is taken from the screen: what changed since the last paint is painted now,
  // or the picture would show the window as it was before the last commands.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  if (IsRectEmpty(area)) {
    *area = rect;
  } else {
    UnionRect(area, area, &rect);
  }
  return TRUE;
}

/// Deletes a GDI object on scope exit.
struct GdiObject {
  HGDIOBJ object;
  ~GdiObject() {
    if (object != nullptr) DeleteObject(object);
  }
};

}  // namespace

bool SaveThreadWindowsPicture(const std::wstring& path) {
  RECT area{};
  EnumThreadWindows(GetCurrentThreadId(), AddWindow, reinterpret_cast<LPARAM>(&area));
  // What was just painted may not have reached the screen yet: under wine each window paints
  // into a surface of its own that is handed to the screen when the thread next waits for
  // messages, so the thread waits once (without waiting) before the screen is read. A box's
  // frame and button would show, but not the text painted after them.
  MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (!IntersectRect(&area, &area, &screen)) return false;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;

  HDC screenDc = GetDC(nullptr);
  if (screenDc == nullptr) return false;
  HDC memoryDc = CreateCompatibleDC(screenDc);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as a BMP file stores it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject bitmap{CreateDIBSection(screenDc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                    &bits, nullptr, 0)};
  bool copied = false;
  if (memoryDc != nullptr && bitmap.object != nullptr) {
    HGDIOBJ previous = SelectObject(memoryDc, bitmap.object);
    copied = BitBlt(memoryDc, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memoryDc, previous);
  }
  if (memoryDc != nullptr) DeleteDC(memoryDc);
  ReleaseDC(nullptr, screenDc);
  if (!copied) return false;

  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + imageSize;
  std::FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&info, sizeof info, 1, out) == 1 &&
                 std::fwrite(bits, 1, imageSize, out) == imageSize;
  written = std::fclose(out) == 0 && written;
  return written;
}

}  // namespace kestrune::ui::win32
