#pragma once

#include "ui/host/host_toolkit.h"
#include "ui/host/terminal_canvas.h"
#include "ui/host/terminal_view.h"

namespace kestrune::ui::host {

/// Paints what a person sees on a canvas of the terminal's size: the sheet as a frame with
/// the page that shows and the wizard buttons, the dialogs that show themselves, the open
/// message boxes centred on top, and a line of key hints. Notes in `view` what painting found
/// out (scrollable lists and edits, whether anything moves by itself).
void PaintScreen(const HostToolkit& toolkit, TerminalView& view, Canvas& canvas);

/// The smallest terminal the wizard is drawn in; a smaller one shows a request to enlarge it.
inline constexpr int kMinimumColumns = 60;
inline constexpr int kMinimumRows = 18;

}  // namespace kestrune::ui::host
