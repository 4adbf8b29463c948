#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wizard/dialog_templates.h"
#include "wizard/view_ports.h"

namespace kestrune::ui::host {

struct ComboItem {
  std::wstring text;
  uint32_t data = 0;
};

struct ListColumn {
  std::wstring heading;
  ColumnAlign align = ColumnAlign::kLeft;
  int width = 0;
};

struct ListRow {
  std::vector<std::wstring> texts;  ///< one per column (at least one)
  int image = -1;
  bool checked = false;
  intptr_t data = 0;
};

/// The state of one control of a host window, as a front end draws it. One record serves
/// every kind; each kind uses its own fields.
struct ControlModel {
  uint32_t id = 0;
  ControlKind kind = ControlKind::kStatic;
  uint32_t textId = 0;                      ///< the template's string for the control (0: none)
  int x = 0, y = 0, width = 0, height = 0;  ///< dialog units
  uint32_t style = 0;
  uint32_t iconId = 0;

  std::wstring text;
  bool enabled = true;
  bool visible = true;
  bool checked = false;

  std::vector<ComboItem> items;  ///< combo box
  int selection = -1;

  std::vector<ListColumn> columns;  ///< list view
  bool checkBoxes = false;
  std::vector<uint32_t> images;  ///< icon ids of the image list
  std::vector<ListRow> rows;

  int low = 0, high = 100, position = 0;  ///< progress bar
  bool marquee = false;
  uint32_t marqueeMs = 0;
};

/// The pixel width of a list view `widthDu` dialog units wide, for ClientWidth: a dialog
/// unit is taken as 1.5 pixels, as with the wizard's font at 96 dpi.
inline int ListClientPixels(int widthDu) { return widthDu * 3 / 2 - 4; }

}  // namespace kestrune::ui::host
