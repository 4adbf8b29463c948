#include "tools/launcher/recovery_set.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <system_error>

#include "text/ascii_case.h"

namespace kestrune::launcher {
namespace fs = std::filesystem;

namespace {

/// The first run of digits in `name`, or a number larger than any disc number.
uint64_t DiscNumber(const std::string& name) {
  const auto first = std::find_if(name.begin(), name.end(), ::isdigit);
  if (first == name.end()) return UINT64_MAX;
  uint64_t value = 0;
  const char* begin = &*first;
  const auto [end, error] = std::from_chars(begin, name.data() + name.size(), value);
  return error == std::errc() ? value : UINT64_MAX;
}

bool HasIsoExtension(const fs::path& path) {
  return text::EqualsIgnoringAsciiCase(path.extension().string(), ".iso");
}

std::optional<uint32_t> ParseWord(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::string JoinNumbers(const std::vector<size_t>& numbers) {
  std::ostringstream text;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) text << (i + 1 == numbers.size() ? " and " : ", ");
    text << numbers[i];
  }
  return text.str();
}

}  // namespace

RecoverySet FindRecoverySet(const fs::path& folder) {
  RecoverySet set;
  set.folder = folder;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    if (HasIsoExtension(it->path())) set.images.push_back(it->path());
  }
  std::sort(set.images.begin(), set.images.end(), [](const fs::path& a, const fs::path& b) {
    const std::string nameA = a.filename().string(), nameB = b.filename().string();
    const uint64_t numberA = DiscNumber(nameA), numberB = DiscNumber(nameB);
    return numberA != numberB ? numberA < numberB : nameA < nameB;
  });
  if (fs::is_regular_file(folder / "package.7z", error)) set.package = folder / "package.7z";
  return set;
}

std::optional<uint32_t> ReadStateWord(const fs::path& folder) {
  std::ifstream file(folder / kStateFileName, std::ios::binary);
  if (!file) return 0u;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return ParseWord(text);
}

bool WriteStateWord(const fs::path& folder, uint32_t word) {
  const fs::path target = folder / kStateFileName;
  const fs::path temporary = folder / (std::string(kStateFileName) + ".new");
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << word << '\n';
    if (!file.flush()) return false;
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error) fs::remove(temporary, error);
  return !error;
}

std::string DescribeState(uint32_t word, size_t discCount) {
  std::vector<size_t> written, missing;
  for (size_t disc = 1; disc <= std::min<size_t>(discCount, 9); ++disc) {
    ((word >> (7 + disc)) & 1 ? written : missing).push_back(disc);
  }
  const bool complete = (word & 0x80000000u) != 0;
  if (complete && written.empty()) return "USB drive written and verified";
  if (complete && discCount == 1) return "the disc written";
  if (complete && discCount == 2) return "both discs written";
  if (complete) return "all " + std::to_string(discCount) + " discs written";
  if (written.empty()) return "nothing written yet";
  std::string text = (written.size() == 1 ? "disc " : "discs ") + JoinNumbers(written) + " of " +
                     std::to_string(discCount) + " written";
  if (!missing.empty()) {
    text += std::string("; insert disc") + (missing.size() == 1 ? " " : "s ") +
            JoinNumbers(missing) + " next time";
  }
  return text;
}

std::optional<uint32_t> ParseResultLine(const std::string& output) {
  if (output.empty() || output.back() != '\n') return std::nullopt;
  return ParseWord(output);
}

std::vector<ReportSummary> FindReports(const fs::path& folder) {
  // KestruneReport-YYYYMMDD-HHMMSS[-N].json
  static const std::regex name(R"(KestruneReport-(\d{4})(\d{2})(\d{2})-(\d{2})(\d{2})(\d{2})(?:-(\d))?\.json)");
  static const std::regex medium(
      R"re(\{"kind": "(disc|usb)", "number": (\d+), "of": (\d+), "device": "(?:[^"\\]|\\.)*", "result": "(\w+)")re");
  struct Found {
    std::string order;
    ReportSummary summary;
  };
  std::vector<Found> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string file = it->path().filename().string();
    std::smatch parts;
    if (!std::regex_match(file, parts, name) || !it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (json.find("\"media\": [") == std::string::npos) continue;
    ReportSummary summary;
    summary.text = it->path();
    summary.text.replace_extension(".txt");
    summary.when = parts[1].str() + "-" + parts[2].str() + "-" + parts[3].str() + " " +
                   parts[4].str() + ":" + parts[5].str() + ":" + parts[6].str() + " UTC";
    summary.result = "written";
    for (std::sregex_iterator m(json.begin(), json.end(), medium), last; m != last; ++m) {
      if (!summary.media.empty()) summary.media += ", ";
      summary.media += (*m)[1] == "usb" ? std::string("USB drive")
                                        : "disc " + (*m)[2].str() + "/" + (*m)[3].str();
      if (summary.result == "written" && (*m)[4] != "written") summary.result = (*m)[4];
    }
    if (summary.media.empty()) {
      summary.media = "no medium";
      summary.result = "nothing written";
    }
    const std::string order = file.substr(15, 15) + (parts[7].matched ? parts[7].str() : "1");
    found.push_back({order, std::move(summary)});
  }
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.order > b.order; });
  std::vector<ReportSummary> reports;
  for (auto& f : found) reports.push_back(std::move(f.summary));
  return reports;
}

}  // namespace kestrune::launcher
