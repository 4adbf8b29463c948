#include "wizard/strings.h"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "text/utf8.h"

namespace kestrune {
namespace {

constexpr StringEntry kTable[] = {
#define KESTRUNE_STRING(id, english, japanese) {id, english, japanese},
#include "wizard/strings_table.inc"
#undef KESTRUNE_STRING
};

constexpr bool IdsAscend() {
  for (size_t i = 1; i < std::size(kTable); ++i) {
    if (kTable[i - 1].id >= kTable[i].id) return false;
  }
  return true;
}
// The lookup is a binary search: a misplaced or repeated id must not build.
static_assert(IdsAscend(), "strings_table.inc: ids must be unique and in ascending order");

std::atomic<Language> currentLanguage{Language::kEnglish};

// The table holds valid UTF-8 only (checked by the tests), so no byte needs escaping.
std::wstring WideFromTableText(std::string_view utf8) {
  return text::WideFromUtf8(utf8, text::InvalidUtf8::kReplace);
}

const StringEntry* Find(uint32_t id) {
  const auto* end = std::end(kTable);
  const auto* entry = std::lower_bound(
      std::begin(kTable), end, id, [](const StringEntry& e, uint32_t key) { return e.id < key; });
  return entry != end && entry->id == id ? entry : nullptr;
}

}  // namespace

std::span<const StringEntry> AllStrings() { return kTable; }

std::wstring LoadText(uint32_t id, Language language) {
  const StringEntry* entry = Find(id);
  if (entry == nullptr) return {};
  const bool japanese = language == Language::kJapanese && !entry->japanese.empty();
  return WideFromTableText(japanese ? entry->japanese : entry->english);
}

std::wstring LoadText(uint32_t id) { return LoadText(id, CurrentLanguage()); }

std::wstring MediaName(uint32_t code, Language language) {
  return LoadText(kMediaNameBaseId + code, language);
}

std::wstring FormatInserts(std::wstring_view pattern, std::span<const std::wstring> inserts) {
  std::wstring out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t c = pattern[i];
    if (c == L'%' && i + 1 < pattern.size() && pattern[i + 1] >= L'1' && pattern[i + 1] <= L'5') {
      const size_t index = static_cast<size_t>(pattern[i + 1] - L'1');
      if (index < inserts.size()) out += inserts[index];
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring FormatText(uint32_t id, Language language, std::span<const std::wstring> inserts) {
  return FormatInserts(LoadText(id, language), inserts);
}

Language ChooseLanguage(platform::UiLanguage& system) {
  return system.PrefersJapanese() ? Language::kJapanese : Language::kEnglish;
}

Language CurrentLanguage() { return currentLanguage.load(std::memory_order_relaxed); }

void SetCurrentLanguage(Language language) {
  currentLanguage.store(language, std::memory_order_relaxed);
}

}  // namespace kestrune
