#include "wizard/strings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace kestrune {
namespace {

using ::testing::ElementsAreArray;

// The insert numbers ("%1" ... "%5") of a text, sorted, and its printf conversions in order.
struct Placeholders {
  std::vector<char> inserts;
  std::vector<std::string> conversions;
};

Placeholders PlaceholdersOf(std::string_view text) {
  static const std::regex conversion(
      R"(^%[-+#0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|L)?[diouxXfFeEgGcsS])");
  Placeholders found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 == text.size()) continue;
    if (text[i + 1] >= '1' && text[i + 1] <= '5') {
      found.inserts.push_back(text[i + 1]);
      ++i;
      continue;
    }
    std::match_results<std::string_view::const_iterator> match;
    if (std::regex_search(text.begin() + i, text.end(), match, conversion)) {
      found.conversions.push_back(match.str());
    }
  }
  std::sort(found.inserts.begin(), found.inserts.end());
  return found;
}

bool IsValidUtf8(std::string_view bytes) {
  // Replacement characters would not survive the round trip unchanged.
  return text::Utf8FromUtf16(text::Utf16FromUtf8(bytes, text::InvalidUtf8::kReplace)) == bytes &&
         bytes.find("\xEF\xBF\xBD") == std::string_view::npos;
}

// Bare technical names (media types, "OK") read the same in both languages; any text with a
// lowercase word is prose and must be translated.
bool LooksUntranslated(const StringEntry& entry) {
  if (entry.id == kAppTitleStringId) return false;
  static const std::regex word("[a-z]{2,}");
  return entry.japanese == entry.english && std::regex_search(std::string(entry.english), word);
}

TEST(StringsTableTest, EveryTextIsWellFormedForBothBuilds) {
  const auto table = AllStrings();
  ASSERT_FALSE(table.empty());
  for (size_t i = 0; i < table.size(); ++i) {
    const StringEntry& entry = table[i];
    SCOPED_TRACE(entry.id);
    if (i > 0) {
      EXPECT_LT(table[i - 1].id, entry.id);
    }
    for (std::string_view text : {entry.english, entry.japanese}) {
      EXPECT_FALSE(text.empty());
      EXPECT_TRUE(IsValidUtf8(text));
      // The resource compiler reads the same literals: no quotes, escapes or control
      // characters other than the line break.
      EXPECT_EQ(text.find_first_of("\"\\\r\t"), std::string_view::npos);
    }
  }
}

TEST(StringsTableTest, JapaneseKeepsTheInsertsAndConversionsOfEnglish) {
  for (const StringEntry& entry : AllStrings()) {
    SCOPED_TRACE(entry.id);
    const Placeholders english = PlaceholdersOf(entry.english);
    const Placeholders japanese = PlaceholdersOf(entry.japanese);
    EXPECT_EQ(english.inserts, japanese.inserts);
    EXPECT_EQ(english.conversions, japanese.conversions);
    EXPECT_FALSE(LooksUntranslated(entry));
  }
}

TEST(StringsTableTest, PlaceholderScanFindsInsertsAndConversions) {
  const Placeholders found = PlaceholdersOf("%3 of %1 at %.02lf, x%.0lf %s (%1%) 100% %d");
  EXPECT_EQ(found.inserts, (std::vector<char>{'1', '1', '3'}));
  EXPECT_THAT(found.conversions, ElementsAreArray({"%.02lf", "%.0lf", "%s", "%d"}));
}

TEST(StringsTableTest, HoldsEveryNumberedStringOfTheWizard) {
  std::vector<uint32_t> expected = {154, 200, 201, 203, 205, 206, 207,
                                    208, 223, 226, 230, 232, 242, 245,
                                    246, 253, 254, 255, 257, 260, 263,
                                    265, 266, 269, 272, 273, 274, 276,
                                    350, 400, 401, 402, 406, 407, 408,
                                    457, 465, 466, 467, 468, 469, 471,
                                    473, 475, 481, 482, 483, 484, kAppTitleStringId};
  for (uint32_t id = 300; id <= 321; ++id) {
    if (id != 315) expected.push_back(id);
  }
  for (uint32_t code = 1; code <= 20; ++code) {
    if (code != 12) expected.push_back(kMediaNameBaseId + code);
  }
  for (uint32_t id : expected) {
    EXPECT_FALSE(LoadText(id, Language::kEnglish).empty()) << id;
  }
  EXPECT_EQ(MediaName(12, Language::kEnglish), L"");
  EXPECT_EQ(LoadText(0, Language::kJapanese), L"");
  EXPECT_EQ(LoadText(99999, Language::kEnglish), L"");
}

TEST(StringsTableTest, EnglishTextsAreTheProgramsOwnWordForWord) {
  const std::pair<uint32_t, const wchar_t*> samples[] = {
      {kAppTitleStringId, L"Kestrune"},
      {457,
       L"Could not open Image Mastering API. \nExit the application.\n\nAnother company's burner "
       L"may be installed on your computer."},
      {484,
       L"In order to compare with downloaded data, there is not enough space on the computer's "
       L"hard disk (about 9 GB).\nDelete unnecessary files from the %1 drive  or uncheck the "
       L"option."},
      {406,
       L"Recovery disc #%1 complete.\n\nRemove disc from %2 drive, label it 'Recovery disc %3 "
       L"(%1/%5)', and keep it in a safe place.\nUse a permanent marker when writing on the "
       L"label."},
      {266,
       L"The recovery disc is created in the following drive.\n\nDrive used for creating a "
       L"recovery disc: \n%1\n\nAll data stored in the above drive will be deleted.\nMedia "
       L"devices set in this drive will be exclusively used as recovery discs.\nYou will no "
       L"longer be able to use the abovementioned media for other purposes.\n\nAre you sure you "
       L"want to create a recovery disc?"},
      {469,
       L"Writing recovery disc #%1 (%1/%4).\nInsert a blank %3 disc into the %2 drive and click "
       L"OK."},
      {208, L" (Time required: about %1 mins. to write to 8X speed DVD-R)"},
      {246, L"Minimum of %1 GB "},
      {201, L"\u30FBKeep in a safe place."},
      {314, L"Verifying the integrity of the burned media (%1%)"},
      {319, L"Writing recovery disc #%1 (%1/%4)"},
      {350, L"Create recovery disc #%1 (%1/%4)"},
      {504, L"DVDROM"},
      {520, L"USB drive"},
  };
  for (const auto& [id, text] : samples) {
    EXPECT_EQ(LoadText(id, Language::kEnglish), text) << id;
  }
  // The close questions while writing are the general one with a note added.
  const std::wstring stop = LoadText(400, Language::kEnglish);
  EXPECT_EQ(LoadText(401, Language::kEnglish),
            stop + L"\nThis operation may take a while to complete.");
  EXPECT_EQ(LoadText(402, Language::kEnglish),
            stop +
                L"\nThe disc being written will be unusable.\nThis operation may take a while "
                L"to complete.");
}

TEST(StringsTableTest, JapaneseTextsDecodeAndKeepTheirShape) {
  EXPECT_EQ(LoadText(304, Language::kJapanese), L"\u5B8C\u4E86");  // 完了
  EXPECT_EQ(LoadText(kAppTitleStringId, Language::kJapanese), L"Kestrune");
  const std::wstring stop = LoadText(400, Language::kJapanese);
  for (uint32_t id : {401u, 402u}) {
    const std::wstring text = LoadText(id, Language::kJapanese);
    EXPECT_TRUE(text.starts_with(stop + L"\n")) << id;
  }
  // The Start page's bullets are the same katakana middle dot in both languages.
  for (uint32_t id : {201u, 203u, 205u, 206u, 207u, 223u}) {
    EXPECT_TRUE(LoadText(id, Language::kJapanese).starts_with(L"\u30FB")) << id;
  }
}

TEST(StringsTableTest, CurrentLanguageChoosesTheTextOfTheOneArgumentLookup) {
  struct FakeSystem : platform::UiLanguage {
    bool japanese = false;
    bool PrefersJapanese() override { return japanese; }
  } system;
  EXPECT_EQ(ChooseLanguage(system), Language::kEnglish);
  system.japanese = true;
  EXPECT_EQ(ChooseLanguage(system), Language::kJapanese);

  SetCurrentLanguage(Language::kJapanese);
  EXPECT_EQ(LoadText(304), LoadText(304, Language::kJapanese));
  SetCurrentLanguage(Language::kEnglish);
  EXPECT_EQ(LoadText(304), L"Complete");
}

TEST(FormatInsertsTest, ReplacesNumberedInsertsWhereverTheyStand) {
  const std::vector<std::wstring> inserts = {L"2", L"", L"", L"3"};
  EXPECT_EQ(FormatInserts(LoadText(319, Language::kEnglish), inserts),
            L"Writing recovery disc #2 (2/3)");
  EXPECT_EQ(FormatText(314, Language::kEnglish, std::vector<std::wstring>{L"57"}),
            L"Verifying the integrity of the burned media (57%)");
  EXPECT_EQ(FormatInserts(L"%5%4%3%2%1", std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e"}),
            L"edcba");
  EXPECT_EQ(FormatInserts(L"", inserts), L"");
}

TEST(FormatInsertsTest, OtherPercentSignsStayAsWritten) {
  const std::vector<std::wstring> inserts = {L"X"};
  EXPECT_EQ(FormatInserts(L"100%", inserts), L"100%");
  EXPECT_EQ(FormatInserts(L"%0 %6 %9 %a %s %.02lf %", inserts), L"%0 %6 %9 %a %s %.02lf %");
  EXPECT_EQ(FormatInserts(L"%%", inserts), L"%%");
  EXPECT_EQ(FormatInserts(L"%%1", inserts), L"%X");
  EXPECT_EQ(FormatInserts(L"%10", inserts), L"X0");
}

TEST(FormatInsertsTest, MissingInsertsAreEmptyAndInsertsAreNotScannedAgain) {
  EXPECT_EQ(FormatInserts(L"[%1|%2]", std::vector<std::wstring>{}), L"[|]");
  EXPECT_EQ(FormatInserts(L"[%1|%2]", std::vector<std::wstring>{L"%2", L"b"}), L"[%2|b]");
  // A drive letter or label with a percent sign is shown as the user typed it.
  EXPECT_EQ(FormatText(406, Language::kEnglish,
                       std::vector<std::wstring>{L"1", L"E", L"50%1", L"", L"2"}),
            L"Recovery disc #1 complete.\n\nRemove disc from E drive, label it 'Recovery disc "
            L"50%1 (1/2)', and keep it in a safe place.\nUse a permanent marker when writing on "
            L"the label.");
}

}  // namespace
}  // namespace kestrune
