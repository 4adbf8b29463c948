#pragma once

#include <string>

#include "ui/host/host_toolkit.h"
#include "ui/script/transcript_lines.h"

namespace kestrune::ui::host {

/// The transcript lines are the core's (wizard/transcript_lines.h, found from this namespace);
/// the transcript line of a message box of the host toolkit.
inline std::string BoxLine(const MessageBoxState& box) {
  return kestrune::BoxLine(box.id, box.Buttons(), box.DefaultButton(), box.text);
}

}  // namespace kestrune::ui::host
