// The control ports of the host toolkit: every call works on the control models.
#include <algorithm>

#include "ui/host/host_toolkit.h"

namespace kestrune::ui::host {
namespace {

bool ValidRow(const ControlModel* list, int row) {
  return list != nullptr && row >= 0 && row < static_cast<int>(list->rows.size());
}

}  // namespace

void HostToolkit::SetText(WindowHandle window, uint32_t id, const std::wstring& text) {
  if (ControlModel* control = Find(window, id)) control->text = text;
}

std::wstring HostToolkit::GetText(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  return control == nullptr ? std::wstring() : control->text;
}

void HostToolkit::Enable(WindowHandle window, uint32_t id, bool enable) {
  if (ControlModel* control = Find(window, id)) control->enabled = enable;
}

bool HostToolkit::IsEnabled(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  return control != nullptr && control->enabled;
}

void HostToolkit::Show(WindowHandle window, uint32_t id, bool show) {
  if (ControlModel* control = Find(window, id)) control->visible = show;
}

void HostToolkit::SetCheck(WindowHandle window, uint32_t id, bool checked) {
  if (ControlModel* control = Find(window, id)) control->checked = checked;
}

bool HostToolkit::GetCheck(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  return control != nullptr && control->checked;
}

void HostToolkit::ResetContent(WindowHandle window, uint32_t id) {
  if (ControlModel* control = Find(window, id)) {
    control->items.clear();
    control->selection = -1;
  }
}

int HostToolkit::AddItem(WindowHandle window, uint32_t id, const std::wstring& text,
                         uint32_t data) {
  ControlModel* control = Find(window, id);
  if (control == nullptr) return -1;
  control->items.push_back({text, data});
  return static_cast<int>(control->items.size()) - 1;
}

int HostToolkit::ItemCount(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  if (control == nullptr) return 0;
  return static_cast<int>(control->kind == ControlKind::kListView ? control->rows.size()
                                                                  : control->items.size());
}

int HostToolkit::GetSelection(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  return control == nullptr ? -1 : control->selection;
}

void HostToolkit::SetSelection(WindowHandle window, uint32_t id, int index) {
  ControlModel* control = Find(window, id);
  if (control == nullptr) return;
  control->selection = index >= 0 && index < static_cast<int>(control->items.size()) ? index : -1;
}

std::wstring HostToolkit::ItemText(WindowHandle window, uint32_t id, int index) {
  const ControlModel* control = Find(window, id);
  if (control == nullptr || index < 0 || index >= static_cast<int>(control->items.size())) {
    return {};
  }
  return control->items[static_cast<size_t>(index)].text;
}

uint32_t HostToolkit::ItemData(WindowHandle window, uint32_t id, int index) {
  const ControlModel* control = Find(window, id);
  if (control == nullptr || index < 0 || index >= static_cast<int>(control->items.size())) {
    return 0;
  }
  return control->items[static_cast<size_t>(index)].data;
}

int HostToolkit::ClientWidth(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  return control == nullptr ? 0 : ListClientPixels(control->width);
}

void HostToolkit::InsertColumn(WindowHandle window, uint32_t id, int column,
                               const std::wstring& heading, ColumnAlign align, int width) {
  ControlModel* control = Find(window, id);
  if (control == nullptr || column < 0) return;
  const auto at = std::min(static_cast<size_t>(column), control->columns.size());
  control->columns.insert(control->columns.begin() + static_cast<std::ptrdiff_t>(at),
                          ListColumn{heading, align, width});
}

void HostToolkit::EnableCheckBoxes(WindowHandle window, uint32_t id) {
  if (ControlModel* control = Find(window, id)) control->checkBoxes = true;
}

void HostToolkit::SetImageList(WindowHandle window, uint32_t id,
                               std::span<const uint32_t> iconIds) {
  if (ControlModel* control = Find(window, id))
    control->images.assign(iconIds.begin(), iconIds.end());
}

void HostToolkit::DeleteAllItems(WindowHandle window, uint32_t id) {
  if (ControlModel* control = Find(window, id)) control->rows.clear();
}

int HostToolkit::InsertItem(WindowHandle window, uint32_t id, int row, const std::wstring& text,
                            int image) {
  ControlModel* control = Find(window, id);
  if (control == nullptr) return -1;
  const auto at = std::min(static_cast<size_t>(std::max(row, 0)), control->rows.size());
  ListRow inserted;
  inserted.texts.push_back(text);
  inserted.image = image;
  control->rows.insert(control->rows.begin() + static_cast<std::ptrdiff_t>(at), inserted);
  return static_cast<int>(at);
}

void HostToolkit::SetItemText(WindowHandle window, uint32_t id, int row, int column,
                              const std::wstring& text) {
  ControlModel* control = Find(window, id);
  if (!ValidRow(control, row) || column < 0) return;
  auto& texts = control->rows[static_cast<size_t>(row)].texts;
  if (texts.size() <= static_cast<size_t>(column)) texts.resize(static_cast<size_t>(column) + 1);
  texts[static_cast<size_t>(column)] = text;
}

std::wstring HostToolkit::GetItemText(WindowHandle window, uint32_t id, int row, int column) {
  ControlModel* control = Find(window, id);
  if (!ValidRow(control, row) || column < 0) return {};
  const auto& texts = control->rows[static_cast<size_t>(row)].texts;
  return static_cast<size_t>(column) < texts.size() ? texts[static_cast<size_t>(column)]
                                                    : std::wstring();
}

void HostToolkit::SetItemImage(WindowHandle window, uint32_t id, int row, int image) {
  ControlModel* control = Find(window, id);
  if (ValidRow(control, row)) control->rows[static_cast<size_t>(row)].image = image;
}

void HostToolkit::SetCheckState(WindowHandle window, uint32_t id, int row, bool checked) {
  ControlModel* control = Find(window, id);
  if (ValidRow(control, row)) control->rows[static_cast<size_t>(row)].checked = checked;
}

bool HostToolkit::GetCheckState(WindowHandle window, uint32_t id, int row) {
  ControlModel* control = Find(window, id);
  return ValidRow(control, row) && control->rows[static_cast<size_t>(row)].checked;
}

void HostToolkit::SetItemData(WindowHandle window, uint32_t id, int row, intptr_t data) {
  ControlModel* control = Find(window, id);
  if (ValidRow(control, row)) control->rows[static_cast<size_t>(row)].data = data;
}

intptr_t HostToolkit::GetItemData(WindowHandle window, uint32_t id, int row) {
  ControlModel* control = Find(window, id);
  return ValidRow(control, row) ? control->rows[static_cast<size_t>(row)].data : 0;
}

void HostToolkit::SetRange(WindowHandle window, uint32_t id, int low, int high) {
  if (ControlModel* control = Find(window, id)) {
    control->low = low;
    control->high = high;
    control->position = std::clamp(control->position, low, std::max(low, high));
  }
}

void HostToolkit::SetPosition(WindowHandle window, uint32_t id, int position) {
  if (ControlModel* control = Find(window, id)) {
    control->position = std::clamp(position, control->low, std::max(control->low, control->high));
  }
}

int HostToolkit::GetPosition(WindowHandle window, uint32_t id) {
  const ControlModel* control = Find(window, id);
  return control == nullptr ? 0 : control->position;
}

void HostToolkit::SetMarquee(WindowHandle window, uint32_t id, bool on, uint32_t intervalMs) {
  if (ControlModel* control = Find(window, id)) {
    control->marquee = on;
    control->marqueeMs = intervalMs;
  }
}

}  // namespace kestrune::ui::host
