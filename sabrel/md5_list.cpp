#include "sabrel/md5_list.h"

#include <string_view>

#include "sabrel/digest_text.h"
#include "sabrel/list_path.h"
#include "sabrel/list_text.h"

namespace kestrune::sabrel {
namespace {

constexpr std::size_t kReportedTextLimit = 200;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

/// Cuts at a character boundary so the report stays valid UTF-8.
std::string Shortened(std::string_view text) {
  if (text.size() <= kReportedTextLimit) return std::string(text);
  std::size_t cut = kReportedTextLimit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

}  // namespace

Md5List ParseMd5List(std::span<const std::byte> bytes) {
  Md5List list;
  const ListText text = DecodeListText(bytes);
  for (std::size_t i = 0; i < text.lines.size(); ++i) {
    const std::size_t lineNumber = i + 1;
    const std::string_view line = Trim(text.lines[i].text);
    auto problem = [&](std::string_view reason) {
      list.problems.push_back({lineNumber, std::string(reason), Shortened(line)});
    };
    if (!text.lines[i].valid) {
      problem("the line is not valid text in the list's encoding");
      continue;
    }
    if (line.empty()) {
      continue;
    }
    std::size_t digestEnd = 0;
    while (digestEnd < line.size() && !IsBlank(line[digestEnd])) ++digestEnd;
    const std::string_view digestText = line.substr(0, digestEnd);
    const auto digest = ParseDigest(digestText);
    if (!digest) {
      problem("the digest is not 32 hexadecimal digits");
      continue;
    }
    const std::string_view pathText = Trim(line.substr(digestEnd));
    ListedPath path = SplitListedPath(pathText);
    if (!path.problem.empty()) {
      problem(path.problem);
      continue;
    }
    list.entries.push_back({lineNumber, *digest, std::string(digestText), std::string(pathText),
                            std::move(path.components)});
  }
  return list;
}

}  // namespace kestrune::sabrel
