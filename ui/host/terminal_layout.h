#pragma once

#include <vector>

#include "ui/host/host_toolkit.h"

namespace kestrune::ui::host {

/// Where a control of a window goes on the terminal, in cells from the window's content
/// origin.
struct LayoutItem {
  const ControlModel* control = nullptr;
  int row = 0;
  int column = 0;
  int width = 0;
  int height = 0;
};

struct WindowLayout {
  std::vector<LayoutItem> items;  ///< template order
  int height = 0;                 ///< rows used

  const LayoutItem* Find(uint32_t id) const;
};

/// Lays a page or dialog out for a terminal: the template's controls top to bottom in its
/// order, group boxes as frames around the controls they hold, controls side by side where
/// the template puts them side by side, each control as tall as its text needs at `width`
/// columns. Hidden controls keep their place, so that nothing jumps when they appear.
///
/// Lists and multi-line edits get the height the template gives them, or more when their
/// content needs it; when the window does not fit `height` rows, the blank rows between
/// sections go first, then lists and edits shrink to their content and then to three rows
/// (they scroll). Whatever still does not fit is cut off at the bottom. With `ascii`, texts
/// are measured as AsciiText shows them.
WindowLayout LayoutWindow(const HostWindow& window, int width, int height, bool ascii = false);

/// Text lines of an edit or static control at `width` cells.
std::vector<std::wstring> ControlLines(const ControlModel& control, int width, bool ascii = false);

/// Cells of the box and blank before a check box's or radio button's label: "[x] ".
inline constexpr int kCheckPrefixWidth = 4;

}  // namespace kestrune::ui::host
