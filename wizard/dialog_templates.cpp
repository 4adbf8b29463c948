#include "wizard/dialog_templates.h"

#include <algorithm>
#include <array>

namespace kestrune {
namespace {

using K = ControlKind;
namespace cs = control_style;
constexpr uint32_t kNoId = kUnaddressedControl;

// The disc prompt: created, never shown.
constexpr std::array kDiscPrompt{
    TemplateControl{1, K::kPushButton, 1011, 70, 75, 50, 14},
    TemplateControl{2, K::kPushButton, 1012, 125, 75, 50, 14},
    TemplateControl{kNoId, K::kGroupBox, 1013, 7, 7, 168, 35},
    TemplateControl{1351, K::kComboBox, 0, 15, 20, 150, 60, cs::kDisabled},
    TemplateControl{kNoId, K::kStatic, 0, 7, 50, 168, 20},
};

constexpr std::array kStart{
    TemplateControl{1102, K::kStatic, 1020, 10, 10, 325, 30},
    TemplateControl{kNoId, K::kGroupBox, 1021, 0, 45, 350, 95},
    TemplateControl{1101, K::kEdit, 0, 5, 55, 340, 80,
                    cs::kMultiLine | cs::kReadOnly | cs::kVScroll},
    TemplateControl{kNoId, K::kStatic, 1022, 5, 145, 340, 10},
};

constexpr std::array kInfo{
    TemplateControl{kNoId, K::kGroupBox, 1030, 0, 0, 350, 48},
    TemplateControl{1154, K::kStatic, 0, 10, 11, 325, 10},
    TemplateControl{kNoId, K::kGroupBox, 1031, 0, 52, 350, 100},
    TemplateControl{1153, K::kListView, 0, 5, 64, 340, 74, cs::kBorder},
    TemplateControl{kNoId, K::kStatic, 1032, 15, 141, 325, 10},
};

constexpr std::array kDrive{
    TemplateControl{kNoId, K::kGroupBox, 1060, 0, 0, 350, 34},
    TemplateControl{1201, K::kComboBox, 0, 10, 11, 330, 80, cs::kDisabled},
    TemplateControl{1203, K::kStatic, 1061, 10, 25, 330, 8, cs::kHidden},
    TemplateControl{kNoId, K::kGroupBox, 1062, 0, 36, 350, 22},
    TemplateControl{1252, K::kRadioButton, 1063, 10, 45, 120, 10, cs::kHidden | cs::kGroupStart},
    TemplateControl{kNoId, K::kGroupBox, 1064, 0, 60, 350, 54},
    TemplateControl{1202, K::kListView, 0, 5, 70, 340, 40, cs::kDisabled | cs::kBorder},
    // Two lines for the note: it wraps in English.
    TemplateControl{kNoId, K::kGroupBox, 1065, 0, 116, 350, 39},
    TemplateControl{1601, K::kCheckBox, 1066, 5, 125, 340, 10},
    TemplateControl{1602, K::kStatic, 1067, 15, 136, 330, 17},
};

constexpr std::array kWrite{
    TemplateControl{1301, K::kListView, 0, 0, 0, 350, 90, cs::kBorder},
    TemplateControl{1303, K::kGroupBox, 1070, 0, 95, 350, 55},
    TemplateControl{1302, K::kProgress, 0, 10, 110, 330, 12},
    TemplateControl{1304, K::kProgress, 0, 10, 110, 330, 12, cs::kHidden | cs::kMarquee},
    TemplateControl{1305, K::kStatic, 0, 10, 130, 330, 10, cs::kHidden | cs::kCentered},
    TemplateControl{1306, K::kStatic, 0, 10, 140, 330, 9, cs::kHidden | cs::kCentered},
};

constexpr std::array kInformation{
    TemplateControl{1501, K::kIcon, 0, 8, 8, 20, 20, 0, 128},
    TemplateControl{1502, K::kStatic, 1220, 38, 7, 135, 20},
};

constexpr std::array kTemplates{
    DialogTemplate{101, 182, 96, 1010, "Meiryo", kDiscPrompt},
    DialogTemplate{102, 350, 155, 0, "Meiryo", kStart},
    DialogTemplate{103, 350, 155, 0, "Meiryo", kInfo},
    DialogTemplate{106, 350, 155, 0, "Meiryo", kDrive},
    DialogTemplate{107, 350, 155, 0, "Meiryo", kWrite},
    DialogTemplate{122, 180, 35, 57344, "Meiryo", kInformation},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(uint32_t id) {
  const auto it = std::find_if(kTemplates.begin(), kTemplates.end(),
                               [id](const DialogTemplate& t) { return t.id == id; });
  return it == kTemplates.end() ? nullptr : &*it;
}

std::span<const DialogTemplate> AllDialogTemplates() { return kTemplates; }

}  // namespace kestrune
