#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/host/host_toolkit.h"
#include "ui/host/terminal_canvas.h"

namespace kestrune::ui::host {

/// The characters the terminal wizard is drawn with: Unicode, or ASCII for terminals that show
/// nothing else.
struct Glyphs {
  bool unicode = true;
  wchar_t horizontal, vertical, topLeft, topRight, bottomLeft, bottomRight, teeLeft, teeRight;
  std::wstring checked, unchecked, radioOn, radioOff;
  wchar_t comboArrow, scrollUp, scrollDown, barFull, barEmpty;
  wchar_t focusLeft, focusRight;  ///< around the focused button
  std::wstring spinner;           ///< frames of the busy sign

  static Glyphs Unicode();
  static Glyphs Ascii();

  /// The picture of an image-list icon (the Write page's task states) and its tone.
  std::wstring Icon(uint32_t iconId, Tone& tone) const;
  /// The sign of a message box's icon flags (wm::kMbIcon...), empty for none.
  std::wstring BoxIcon(uint32_t flags, Tone& tone) const;
};

/// The front end's own words: button names and key hints (the wizard's texts come from its
/// strings table; these are the toolkit's, as Windows supplies its own button names). English
/// on a terminal without Unicode.
enum class TerminalWord {
  kBack,
  kNext,
  kCancel,
  kOk,
  kYes,
  kNo,
  // Key hints, put together from the keys that work at the moment.
  kKeyTab,          ///< Tab moves the focus
  kKeyRows,         ///< the arrows move through a list's rows
  kKeySpaceChoose,  ///< Space on a check box or radio button
  kKeySpaceTick,    ///< Space on a list row
  kKeySpaceOpen,    ///< Space on the drive list
  kKeySpacePress,   ///< Space on a button
  kKeyEnterNext,
  kKeyEscCancel,
  kHintBox,
  kHintDropDown,
  kHintBusy,
  kTooSmall,
};
std::wstring Word(TerminalWord word, Language language, bool unicode);

/// What the person has done to the screen beyond the controls' own state, and what painting
/// learnt that key handling needs. UI thread only.
struct TerminalView {
  Language language = Language::kEnglish;
  Glyphs glyphs = Glyphs::Unicode();

  /// The page the state below belongs to (its template); a new page starts afresh.
  uint32_t page = 0;
  /// The focused control of the page, a sheet button id (HostToolkit::kBackButton,
  /// kNextButton, wm::kIdCancel), or 0 for none.
  uint32_t focus = 0;
  /// True once the person moved the focus: it stays where they put it while it can.
  bool focusChosen = false;
  std::map<uint32_t, int> cursor;  ///< highlighted row of a list
  std::map<uint32_t, int> scroll;  ///< first row or line shown of a list or edit
  /// Lists and edits whose content is taller than their place (painting finds them).
  std::set<uint32_t> scrollable;
  std::map<uint32_t, int> visibleRows;  ///< rows of a list or edit on screen
  std::map<uint32_t, int> contentRows;  ///< lines of an edit's text as shown
  bool dropDown = false;                ///< the focused combo box's list is open
  int dropDownRow = 0;
  /// The button that has the focus in each open message box (the default one at first).
  std::map<const MessageBoxState*, int> boxFocus;

  /// The time animations (marquee, busy sign) are drawn at.
  std::chrono::steady_clock::time_point now;
  /// Set by painting: something on screen moves by itself and wants repainting.
  bool animating = false;
};

/// Brings the view in line with the screen: forgets a page that went away, keeps the focus
/// on something that can take it, gives new message boxes their default button.
void SyncView(const HostToolkit& toolkit, TerminalView& view);

/// The controls of the page that can take the focus, in tab order, then the enabled sheet
/// buttons (Back, Next, Cancel).
std::vector<uint32_t> FocusOrder(const HostToolkit& toolkit, const TerminalView& view);

}  // namespace kestrune::ui::host
