#pragma once

#include "platform/win32/windows_support.h"

#include <string>

#include "platform/win32/ui/win32_toolkit.h"
#include "wizard/transcript_lines.h"

namespace kestrune::platform::win32 {

using kestrune::ButtonFromName;
using kestrune::ButtonName;
using kestrune::DrivesLine;
using kestrune::PageLine;
using kestrune::PageName;
using kestrune::Quote;
using kestrune::RowLine;
using kestrune::StatusLine;
using kestrune::Transcript;

/// The transcript line of a message box of the Windows toolkit.
inline std::string BoxLine(const MessageBoxRecord& box) {
  return kestrune::BoxLine(box.id, box.Buttons(), box.DefaultButton(), box.text);
}

}  // namespace kestrune::platform::win32
