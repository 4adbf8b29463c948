#include "verify/check_progress.h"

#include <algorithm>
#include <charconv>

#include "platform/read_only_file.h"

namespace kestrune {
namespace {

std::optional<uint64_t> TakeNumber(std::string_view& text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return value;
}

}  // namespace

std::optional<CheckProgress> ParseCheckProgress(std::string_view text) {
  const auto done = TakeNumber(text);
  if (!done || text.empty() || text.front() != ' ') return std::nullopt;
  text.remove_prefix(1);
  const auto total = TakeNumber(text);
  if (!total || text.empty() || text.front() != ' ') return std::nullopt;
  text.remove_prefix(1);
  const auto files = TakeNumber(text);
  if (!files || text != "\n" || *done > *total) return std::nullopt;
  return CheckProgress{*done, *total, *files};
}

std::optional<CheckProgress> ReadCheckProgress(const std::wstring& path) {
  std::string failure;
  auto file = platform::ReadOnlyFile::Open(path, failure);
  if (!file) return std::nullopt;
  char bytes[64];
  const int64_t got = file->ReadFull(bytes, sizeof bytes);
  if (got <= 0 || got == static_cast<int64_t>(sizeof bytes)) return std::nullopt;
  return ParseCheckProgress(std::string_view(bytes, static_cast<size_t>(got)));
}

CheckProgressMessage ToMessage(const CheckProgress& progress) {
  constexpr uint64_t kMost = 0x7fffffff;
  const uint64_t total = std::min((progress.bytesTotal + 1023) / 1024, kMost);
  const uint64_t done = progress.bytesDone >= progress.bytesTotal
                            ? total
                            : std::min(progress.bytesDone / 1024, total);
  return {static_cast<uintptr_t>(total), static_cast<intptr_t>(done)};
}

}  // namespace kestrune
