#include "engine/usb_diskpart.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/native_path.h"
#include "text/ascii_case.h"

namespace kestrune::usb {
namespace {

constexpr size_t kMaxFat32Label = 11;

bool IsLabelCharacter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
         c == L' ' || c == L'_' || c == L'-';
}

std::string Ascii(std::wstring_view text) {
  std::string ascii;
  for (const wchar_t c : text) ascii += static_cast<char>(c);
  return ascii;
}

/// The words of a line after its leading "* ", split at blanks.
std::vector<std::string> WordsAfterMark(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (size_t i = 2; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += line[i];
    }
  }
  return words;
}

/// 1 to 4 decimal digits; nothing else.
std::optional<uint32_t> DiskNumber(const std::string& word) {
  if (word.empty() || word.size() > 4) return std::nullopt;
  uint32_t number = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - '0');
  }
  return number;
}

}  // namespace

std::string LookupScript(wchar_t letter) {
  return "sel vol " + std::string(1, static_cast<char>(letter)) + "\ndetail vol\n";
}

std::string WipeScript(wchar_t letter) {
  return "sel vol " + std::string(1, static_cast<char>(letter)) + "\nclean\n";
}

std::string MarkIncompleteScript(uint32_t disk) {
  return "sel dis " + std::to_string(disk) + "\nsel par 1\ninactive\n";
}

std::string BuildScript(uint32_t disk, uint32_t megabytes, std::wstring_view label,
                        wchar_t letter) {
  return "sel dis " + std::to_string(disk) +
         "\nclean\nautomount disable\ncreate par primary size=" + std::to_string(megabytes) +
         " noerr\nautomount enable\nsel par 1\nonline volume\nactive\nformat fs=FAT32 label=\"" +
         Ascii(label) + "\" quick\nassign letter=" + std::string(1, static_cast<char>(letter)) +
         "\nexit";
}

std::optional<InterpreterRun> DiskpartRun(const std::wstring& systemFolder,
                                          const std::wstring& scriptPath,
                                          const std::wstring& outputPath) {
  const bool absolute = platform::ToNativePath(systemFolder).is_absolute();
  if (!absolute || systemFolder.find_first_of(L" \"&|<>^%()") != std::wstring::npos ||
      scriptPath.find(L'"') != std::wstring::npos || outputPath.find(L'"') != std::wstring::npos) {
    return std::nullopt;
  }
  const auto system = [&](const wchar_t* name) {
    return platform::FromNativePath(platform::ToNativePath(systemFolder) / name);
  };
  return InterpreterRun{system(L"cmd.exe"), L"/D /C " + system(L"chcp.com") + L" 437 & " +
                                                system(L"diskpart.exe") + L" /s \"" + scriptPath +
                                                L"\" > \"" + outputPath + L"\""};
}

bool IsScriptLetter(wchar_t letter) { return letter >= L'A' && letter <= L'Z'; }

std::wstring ScriptLabel(std::wstring_view label) {
  bool allowed = !label.empty() && label.size() <= kMaxFat32Label &&
                 label.find_first_not_of(L' ') != std::wstring_view::npos;
  for (const wchar_t c : label) allowed = allowed && IsLabelCharacter(c);
  return std::wstring(allowed ? label : kDefaultVolumeLabel);
}

DiskLookup ParseDiskLookup(std::istream& output) {
  DiskLookup lookup;
  int diskLines = 0;
  std::optional<uint32_t> number;
  std::string line;
  while (std::getline(output, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 2 || line[0] != '*' || line[1] != ' ') continue;
    // The word for a disk is the system's language's ("Disk", "Datenträger", ...): the marked
    // line of "detail vol" is a disk line whatever it says.
    const std::vector<std::string> words = WordsAfterMark(line);
    if (words.empty()) continue;
    ++diskLines;
    number = words.size() > 1 ? DiskNumber(words[1]) : std::nullopt;
  }
  if (diskLines > 1) {
    lookup.outcome = DiskLookup::kSeveral;
  } else if (diskLines == 1 && number && *number > 0) {
    lookup.outcome = DiskLookup::kFound;
    lookup.disk = *number;
  }
  return lookup;
}

}  // namespace kestrune::usb
