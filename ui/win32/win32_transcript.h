#pragma once

#include "platform/win32/windows_support.h"

#include <string>

#include "ui/script/transcript_lines.h"
#include "ui/win32/win32_toolkit.h"

namespace kestrune::ui::win32 {

/// The transcript lines are the core's (wizard/transcript_lines.h, found from this namespace);
/// the transcript line of a message box of the Windows toolkit.
inline std::string BoxLine(const MessageBoxRecord& box) {
  return kestrune::BoxLine(box.id, box.Buttons(), box.DefaultButton(), box.text);
}

}  // namespace kestrune::ui::win32
