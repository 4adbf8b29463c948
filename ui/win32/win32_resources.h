#pragma once

// The wizard's resources in the program file: the dialog templates and string tables that
// tools/wizard_resources.py generates from the wizard's own tables, in English (1033) and
// Japanese (1041), and the icons 128 to 132.

#include "platform/win32/windows_support.h"

#include <cstdint>
#include <string>
#include <vector>

#include "wizard/strings.h"

namespace kestrune::ui::win32 {

/// The Windows language id of the wizard's language: 1033 or 1041.
LANGID LanguageId(Language language);

/// The resources of `module` in one language. Templates are looked up in exactly that
/// language, whatever the thread's own UI language, so that the controls speak the language
/// the wizard's texts are in.
class WizardResources {
 public:
  WizardResources(HINSTANCE module, Language language)
      : module_(module), language_(LanguageId(language)) {}

  HINSTANCE module() const { return module_; }
  LANGID language() const { return language_; }

  /// Dialog template `id` (a DLGTEMPLATEEX in the module's read-only memory); null when the
  /// module has none in the language.
  const DLGTEMPLATE* DialogTemplate(uint32_t id) const;
  /// String `id` from the module's string table in the language; empty when missing.
  std::wstring String(uint32_t id) const;
  /// Icon `id` at `size` pixels square; the caller destroys it (DestroyIcon). Null when
  /// missing.
  HICON Icon(uint32_t id, int size) const;

 private:
  HINSTANCE module_;
  LANGID language_;
};

/// One control of a compiled dialog template, as the dialog manager reads it.
struct CompiledControl {
  uint32_t id = 0;
  uint32_t style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  std::wstring windowClass;  ///< "Button", "Static", ... or a registered class name
  std::wstring text;         ///< empty for none; "#128" for a resource ordinal
};

/// A compiled dialog template (DLGTEMPLATEEX), read back for checks and for the screen
/// reader, which pairs the controls of a window with the template's texts.
struct CompiledTemplate {
  uint32_t style = 0;
  int width = 0, height = 0;
  std::wstring caption;
  std::wstring fontName;
  int fontPoints = 0;
  std::vector<CompiledControl> controls;
};

/// Parses a DLGTEMPLATEEX; false when `data` is not one.
bool ReadCompiledTemplate(const void* data, CompiledTemplate& out);

}  // namespace kestrune::ui::win32
