#pragma once

#include "platform/win32/windows_support.h"

#include <string>

namespace kestrune::ui::win32 {

/// Saves what the screen shows of this thread's visible top-level windows (the wizard, an
/// open message box or scan box), once all they have drawn has reached the screen, cut to the
/// rectangle that holds them all, as a 24-bit BMP file at `path`. False when nothing shows or the
/// file cannot be written.
bool SaveThreadWindowsPicture(const std::wstring& path);

}  // namespace kestrune::ui::win32
