#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/ui_language.h"
#include "wizard/string_ids.h"

namespace kestrune {

/// The languages the wizard speaks.
enum class Language { kEnglish, kJapanese };

/// Well-known string ids.
inline constexpr uint32_t kAppTitleStringId = kStr57344AppTitle;
/// Media code n is named by string kMediaNameBaseId + n (20, the USB drive, included; code 12
/// has no name).
inline constexpr uint32_t kMediaNameBaseId = 500;

/// One entry of the strings table, texts as UTF-8 exactly as written in strings_table.inc.
struct StringEntry {
  uint32_t id;
  std::string_view english;
  std::string_view japanese;
};

/// The whole table in ascending id order, for front ends and resource checks.
std::span<const StringEntry> AllStrings();

/// The text of string resource `id` in `language`; empty when there is no such string. A
/// Japanese text that is still empty in the table falls back to the English one.
std::wstring LoadText(uint32_t id, Language language);

/// LoadText in the process's current language (see SetCurrentLanguage).
std::wstring LoadText(uint32_t id);

/// The name of media code `code` (string 500 + code); empty for a code without a name.
std::wstring MediaName(uint32_t code, Language language);

/// Replaces each "%1" to "%5" in `pattern` by the insert of that number (empty when fewer
/// inserts are given). A "%" not followed by a digit 1 to 5 stays as it is; in particular
/// "%%" is no escape and stays "%%" (no text of the table needs a literal "%" before a
/// digit), and "%6" to "%9" and "%0" stay. Inserts are not scanned again, so an insert that
/// itself holds "%1" appears as given.
std::wstring FormatInserts(std::wstring_view pattern, std::span<const std::wstring> inserts);

/// FormatInserts over LoadText: the common case of a numbered message with inserts.
std::wstring FormatText(uint32_t id, Language language, std::span<const std::wstring> inserts);

/// The language the wizard speaks for a user whose system reports `system`: Japanese when
/// the user's interface language (Windows) or message locale (Linux) is Japanese.
Language ChooseLanguage(platform::UiLanguage& system);

/// The process-wide language of LoadText(id). English until set; start-up sets it once,
/// before the first window, from ChooseLanguage. Safe to read from any thread.
Language CurrentLanguage();
void SetCurrentLanguage(Language language);

}  // namespace kestrune
