#pragma once

#include <string>

#include "ui/host/host_toolkit.h"
#include "wizard/transcript_lines.h"

namespace kestrune::ui::host {

using kestrune::ButtonFromName;
using kestrune::ButtonName;
using kestrune::DrivesLine;
using kestrune::PageLine;
using kestrune::PageName;
using kestrune::Quote;
using kestrune::RowLine;
using kestrune::StatusLine;
using kestrune::Transcript;

/// The transcript line of a message box of the host toolkit.
inline std::string BoxLine(const MessageBoxState& box) {
  return kestrune::BoxLine(box.id, box.Buttons(), box.DefaultButton(), box.text);
}

}  // namespace kestrune::ui::host
