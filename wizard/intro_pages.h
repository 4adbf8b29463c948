#pragma once

#include <cstdint>
#include <string>

#include "wizard/page_base.h"

namespace kestrune {

/// The Start page (template 102): what the wizard does, how long writing takes, usage notes.
class CPage_010_Start : public CPageBase {
 public:
  static constexpr uint32_t kTitle = 1102;  ///< static: title and time estimate
  static constexpr uint32_t kNotes = 1101;  ///< read-only multi-line edit: usage notes

  explicit CPage_010_Start(WizardContext& wizard) : CPageBase(wizard, 102) {}

  /// The title line: string 200, with string 208 and the estimate appended when there is one.
  std::wstring TitleText() const;
  /// The usage notes, one per line ("\r\n" between them).
  std::wstring NotesText() const;

 protected:
  bool PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;
};

/// The Discs-required page (template 103): the set's label and, per allowed medium, how many
/// discs or what size of USB drive the set needs.
class CPage_015_Info : public CPageBase {
 public:
  static constexpr uint32_t kNeeds = 1153;  ///< list view: medium | discs (USB size)
  static constexpr uint32_t kLabel = 1154;  ///< static: the set's label

  explicit CPage_015_Info(WizardContext& wizard) : CPageBase(wizard, 103) {}

 protected:
  bool PageProc(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

 private:
  void OnInitDialog();
};

}  // namespace kestrune
