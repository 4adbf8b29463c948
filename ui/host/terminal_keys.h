#pragma once

#include "ui/host/host_toolkit.h"
#include "ui/host/terminal_view.h"

namespace kestrune::ui::host {

/// A key as the terminal wizard understands it.
enum class KeyCode {
  kNone,
  kCharacter,  ///< a printable character, in Key::character (the space bar included)
  kTab,
  kBackTab,
  kUp,
  kDown,
  kLeft,
  kRight,
  kHome,
  kEnd,
  kPageUp,
  kPageDown,
  kEnter,
  kEscape,
  kInterrupt,  ///< Ctrl-C
};

struct Key {
  KeyCode code = KeyCode::kNone;
  wchar_t character = 0;
};

/// Acts on one key as a person at the wizard means it:
///
/// - Tab and Shift-Tab, and the arrows outside lists, move the focus through the page's
///   controls and the wizard buttons; in a list the arrows move the highlighted row, in a
///   long text they scroll it.
/// - Space uses the focused control: ticks a check box or list row, chooses a radio button,
///   opens the drive list, presses a button.
/// - Enter presses the focused button, else Next (the default button); with Next off it opens
///   a focused drive list.
/// - Esc is Cancel (or closes an open drive list); Ctrl-C is the sheet's close request.
/// - In a message box: the arrows and Tab choose a button, Enter or Space presses it, Y and N
///   answer Yes and No, Esc is Cancel (or OK when that is the only button).
///
/// Keys that do not fit the screen (a disabled button, a busy wizard) do nothing. The call may
/// run nested message loops (a question the key raises); `view` may change meanwhile.
void HandleKey(HostToolkit& toolkit, TerminalView& view, const Key& key);

}  // namespace kestrune::ui::host
