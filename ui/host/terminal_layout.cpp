#include "ui/host/terminal_layout.h"

#include <algorithm>
#include <memory>

#include "ui/host/terminal_text.h"

namespace kestrune::ui::host {
namespace {

/// A combo box's template height includes its drop-down list; closed, it is one line.
constexpr int kClosedComboDu = 12;
/// Template gaps of this many dialog units or more become a blank row.
constexpr int kGapDu = 5;
/// Dialog units per text row.
constexpr int kRowDu = 8;
/// Rows a shrunken list or edit keeps.
constexpr int kMinimumScrollRows = 3;
/// Cells of an icon control.
constexpr int kIconCells = 2;

struct Node {
  const ControlModel* control = nullptr;  ///< null: the window itself
  int x = 0, y = 0, w = 0, h = 0;         ///< dialog units
  std::vector<std::vector<Node*>> bands;  ///< children, row by row
  int width = 0;                          ///< cells, once placed
  int height = -1;                        ///< rows given to a list or edit; -1 its preference

  bool IsGroup() const { return control != nullptr && control->kind == ControlKind::kGroupBox; }
  bool IsFlexible() const {
    return control != nullptr &&
           (control->kind == ControlKind::kListView ||
            (control->kind == ControlKind::kEdit && (control->style & control_style::kMultiLine)));
  }
};

bool Contains(const Node& group, const Node& child) {
  return child.x >= group.x && child.y >= group.y && child.x < group.x + group.w &&
         child.y < group.y + group.h;
}

int ContentRows(const Node& node, bool ascii) {
  const ControlModel& control = *node.control;
  if (control.kind == ControlKind::kListView) {
    return static_cast<int>(control.rows.size()) + 1;
  }
  return static_cast<int>(ControlLines(control, node.width - 1, ascii).size());
}

int PreferredRows(const Node& node, bool ascii) {
  return std::max((node.control->height + kRowDu / 2) / kRowDu, ContentRows(node, ascii));
}

int LeafRows(const Node& node, bool ascii) {
  const ControlModel& control = *node.control;
  switch (control.kind) {
    case ControlKind::kStatic:
    case ControlKind::kEdit:
      if (node.IsFlexible()) return node.height >= 0 ? node.height : PreferredRows(node, ascii);
      return std::max<int>(1, static_cast<int>(ControlLines(control, node.width, ascii).size()));
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      return std::max<int>(1,
                           static_cast<int>(WrapText(ascii ? AsciiText(control.text) : control.text,
                                                     node.width - kCheckPrefixWidth)
                                                .size()));
    case ControlKind::kListView:
      return node.height >= 0 ? node.height : PreferredRows(node, ascii);
    default:
      return 1;
  }
}

class Layouter {
 public:
  Layouter(const HostWindow& window, bool ascii) : ascii_(ascii) {
    root_.w = 1 << 20;
    root_.h = 1 << 20;
    for (const ControlModel& control : window.controls) {
      auto node = std::make_unique<Node>();
      node->control = &control;
      node->x = control.x;
      node->y = control.y;
      node->w = control.width;
      node->h = control.kind == ControlKind::kComboBox ? kClosedComboDu : control.height;
      nodes_.push_back(std::move(node));
    }
    // Each control belongs to the innermost group box that holds its top-left corner.
    std::vector<std::vector<Node*>> children(nodes_.size() + 1);
    for (size_t i = 0; i < nodes_.size(); ++i) {
      size_t parent = nodes_.size();  // the window
      for (size_t g = 0; g < nodes_.size(); ++g) {
        if (g == i || !nodes_[g]->IsGroup() || !Contains(*nodes_[g], *nodes_[i])) continue;
        if (parent == nodes_.size() || Contains(*nodes_[parent], *nodes_[g])) parent = g;
      }
      children[parent].push_back(nodes_[i].get());
    }
    for (size_t i = 0; i <= nodes_.size(); ++i) {
      MakeBands(i == nodes_.size() ? root_ : *nodes_[i], children[i]);
    }
  }

  WindowLayout Run(int width, int height) {
    AssignWidths(root_, width);
    int total = Measure(root_);
    if (total > height) {
      gaps_ = false;
      total = Measure(root_);
    }
    // Lists and edits give up rows: first down to their content, then down to a few rows.
    for (const bool toContent : {true, false}) {
      while (total > height) {
        Node* widest = nullptr;
        int spare = 0;
        for (const auto& node : nodes_) {
          if (!node->IsFlexible()) continue;
          const int rows = LeafRows(*node, ascii_);
          const int content = ContentRows(*node, ascii_);
          const int floor = toContent ? content : std::min(content, kMinimumScrollRows);
          if (rows - std::max(floor, 1) > spare) {
            spare = rows - std::max(floor, 1);
            widest = node.get();
          }
        }
        if (widest == nullptr) break;
        widest->height = LeafRows(*widest, ascii_) - 1;
        total = Measure(root_);
      }
    }
    WindowLayout layout;
    layout.height = Place(root_, 0, 0, layout);
    std::stable_sort(layout.items.begin(), layout.items.end(),
                     [this](const LayoutItem& a, const LayoutItem& b) {
                       return Order(a.control) < Order(b.control);
                     });
    return layout;
  }

 private:
  static void MakeBands(Node& parent, std::vector<Node*> children) {
    std::stable_sort(children.begin(), children.end(),
                     [](const Node* a, const Node* b) { return a->y < b->y; });
    int bottom = 0;
    for (Node* child : children) {
      if (parent.bands.empty() || child->y >= bottom) {
        parent.bands.emplace_back();
        bottom = child->y + child->h;
      } else {
        bottom = std::max(bottom, child->y + child->h);
      }
      parent.bands.back().push_back(child);
    }
    for (auto& band : parent.bands) {
      std::stable_sort(band.begin(), band.end(),
                       [](const Node* a, const Node* b) { return a->x < b->x; });
    }
  }

  /// Columns of each member of a band within `width`: members that overlap in the template
  /// share their columns; members side by side split the width as the template does, except
  /// that an icon takes two cells and the text beside it follows at once.
  static std::vector<std::pair<int, int>> BandColumns(const std::vector<Node*>& band, int width) {
    std::vector<size_t> stackOf(band.size(), 0);
    std::vector<size_t> firsts{0};
    for (size_t i = 1; i < band.size(); ++i) {
      const Node* first = band[firsts.back()];
      if (band[i]->x >= first->x + first->w) firsts.push_back(i);
      stackOf[i] = firsts.size() - 1;
    }
    const int left = band.front()->x;
    int right = left + 1;
    for (const Node* node : band) right = std::max(right, node->x + node->w);
    std::vector<int> starts(firsts.size(), 0);
    for (size_t s = 1; s < firsts.size(); ++s) {
      const bool afterIcon = band[firsts[s - 1]]->control->kind == ControlKind::kIcon;
      const int proportional = (band[firsts[s]]->x - left) * width / (right - left);
      starts[s] =
          afterIcon ? starts[s - 1] + kIconCells + 1 : std::max(proportional, starts[s - 1] + 2);
    }
    std::vector<std::pair<int, int>> columns(band.size());
    for (size_t i = 0; i < band.size(); ++i) {
      const size_t s = stackOf[i];
      const int end = s + 1 < starts.size() ? starts[s + 1] - 1 : width;
      int cells = std::max(end - starts[s], 1);
      if (band[firsts[s]]->control->kind == ControlKind::kIcon) cells = std::min(cells, kIconCells);
      columns[i] = {starts[s], cells};
    }
    return columns;
  }

  /// A note set in below a check box or radio button lines up with its label.
  static int Indent(const Node& node, size_t index) {
    if (index == 0 || node.bands[index].size() != 1 || node.bands[index - 1].size() != 1) return 0;
    const Node& note = *node.bands[index].front();
    const Node& above = *node.bands[index - 1].front();
    const bool button = above.control->kind == ControlKind::kCheckBox ||
                        above.control->kind == ControlKind::kRadioButton;
    return button && note.control->kind == ControlKind::kStatic && note.x > above.x
               ? kCheckPrefixWidth
               : 0;
  }

  void AssignWidths(Node& node, int width) {
    node.width = width;
    const int inner = node.IsGroup() ? width - 4 : width;
    for (size_t b = 0; b < node.bands.size(); ++b) {
      const auto& band = node.bands[b];
      const auto columns = BandColumns(band, inner - Indent(node, b));
      for (size_t i = 0; i < band.size(); ++i) AssignWidths(*band[i], columns[i].second);
    }
  }

  /// Blank rows before band `index` of `node`.
  int GapBefore(const Node& node, size_t index) const {
    if (!gaps_ || index == 0) return 0;
    int previousBottom = 0;
    for (const Node* member : node.bands[index - 1]) {
      previousBottom = std::max(previousBottom, member->y + member->h);
    }
    return node.bands[index].front()->y - previousBottom >= kGapDu ? 1 : 0;
  }

  int Measure(const Node& node) const {
    if (node.control != nullptr && !node.IsGroup()) return LeafRows(node, ascii_);
    int rows = 0;
    for (size_t i = 0; i < node.bands.size(); ++i) {
      int band = 0;
      for (const Node* member : node.bands[i]) band = std::max(band, Measure(*member));
      rows += GapBefore(node, i) + band;
    }
    return node.IsGroup() ? rows + 2 : rows;
  }

  /// Emits the items of `node` placed at (row, column); its rows.
  int Place(const Node& node, int row, int column, WindowLayout& layout) const {
    const int rows = Measure(node);
    if (node.control != nullptr)
      layout.items.push_back({node.control, row, column, node.width, rows});
    if (node.control != nullptr && !node.IsGroup()) return rows;
    const int inner = node.IsGroup() ? node.width - 4 : node.width;
    int at = row + (node.IsGroup() ? 1 : 0);
    const int left = column + (node.IsGroup() ? 2 : 0);
    for (size_t i = 0; i < node.bands.size(); ++i) {
      at += GapBefore(node, i);
      const int indent = Indent(node, i);
      const auto columns = BandColumns(node.bands[i], inner - indent);
      int band = 0;
      for (size_t k = 0; k < node.bands[i].size(); ++k) {
        band =
            std::max(band, Place(*node.bands[i][k], at, left + indent + columns[k].first, layout));
      }
      at += band;
    }
    return rows;
  }

  size_t Order(const ControlModel* control) const {
    for (size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_[i]->control == control) return i;
    }
    return nodes_.size();
  }

  bool ascii_;
  Node root_;
  std::vector<std::unique_ptr<Node>> nodes_;
  bool gaps_ = true;
};

}  // namespace

const LayoutItem* WindowLayout::Find(uint32_t id) const {
  for (const LayoutItem& item : items) {
    if (item.control->id == id) return &item;
  }
  return nullptr;
}

std::vector<std::wstring> ControlLines(const ControlModel& control, int width, bool ascii) {
  const std::wstring text = ascii ? AsciiText(control.text) : control.text;
  if (control.kind == ControlKind::kEdit && (control.style & control_style::kMultiLine) == 0) {
    return {FitText(text, width)};
  }
  return WrapText(text, width);
}

WindowLayout LayoutWindow(const HostWindow& window, int width, int height, bool ascii) {
  return Layouter(window, ascii).Run(width, height);
}

}  // namespace kestrune::ui::host
