#pragma once

#include <cstdint>
#include <span>

namespace kestrune {

/// Dialog templates of the wizard.
inline constexpr uint32_t kTemplateDiscPrompt = 101;
inline constexpr uint32_t kTemplateStart = 102;
inline constexpr uint32_t kTemplateInfo = 103;
inline constexpr uint32_t kTemplateDrive = 106;
inline constexpr uint32_t kTemplateWrite = 107;
inline constexpr uint32_t kTemplateInformation = 122;

/// Kinds of controls a dialog template holds.
enum class ControlKind {
  kStatic,      ///< text
  kIcon,        ///< a static showing icon resource `iconId`
  kGroupBox,    ///< frame with a caption
  kEdit,        ///< text field
  kPushButton,  ///< command button (IDOK, IDCANCEL)
  kCheckBox,
  kRadioButton,
  kComboBox,  ///< drop-down list
  kListView,  ///< report view
  kProgress,  ///< progress bar, range 0 to 100 until set
};

/// Style bits of a template control.
namespace control_style {
inline constexpr uint32_t kHidden = 0x1;
inline constexpr uint32_t kDisabled = 0x2;
inline constexpr uint32_t kMultiLine = 0x4;    ///< edit
inline constexpr uint32_t kReadOnly = 0x8;     ///< edit
inline constexpr uint32_t kVScroll = 0x10;     ///< edit, list
inline constexpr uint32_t kCentered = 0x20;    ///< static text
inline constexpr uint32_t kGroupStart = 0x40;  ///< first radio button of its group
inline constexpr uint32_t kMarquee = 0x80;     ///< progress bar
inline constexpr uint32_t kBorder = 0x100;
}  // namespace control_style

/// Id of controls that programs never address (IDC_STATIC).
inline constexpr uint32_t kUnaddressedControl = 0xFFFF;

/// One control: position and size in dialog units, its text as a string id (0: none).
struct TemplateControl {
  uint32_t id = 0;
  ControlKind kind = ControlKind{};
  uint32_t textId = 0;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;
  uint32_t iconId = 0;
};

/// A dialog template: the wizard's pages (102, 103, 106, 107), the disc prompt (101) and the
/// information box (122). Every text is a string of the one strings table (ids 1010-1229 for
/// texts that belong to a template), so each front end lays out the same controls in the
/// user's language; the Windows build generates its dialog resources from these.
struct DialogTemplate {
  uint32_t id;
  int width, height;     ///< dialog units
  uint32_t captionId;    ///< string id, 0 none
  const char* fontName;  ///< "Meiryo"
  std::span<const TemplateControl> controls;
};

/// The template with `id`; null for an id the wizard has no template for.
const DialogTemplate* FindDialogTemplate(uint32_t id);

/// Every template, in ascending id order.
std::span<const DialogTemplate> AllDialogTemplates();

}  // namespace kestrune
