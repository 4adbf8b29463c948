#include "app/command_line.h"

#include <cwctype>
#include <filesystem>

#include "platform/native_path.h"
#include "text/ascii_case.h"

namespace kestrune {
namespace {

using text::EqualsIgnoringAsciiCase;

bool IsExistingFileOrFolder(const std::wstring& path) {
  if (path.empty()) return false;
  std::error_code error;
  return std::filesystem::exists(platform::ToNativePath(path), error);
}

bool HasQuote(std::wstring_view text) { return text.find(L'"') != std::wstring_view::npos; }

void ApplySwitchOrSource(const std::wstring& argument, RunContext& context) {
  constexpr std::wstring_view kPass = L"/Pass:";
  if (EqualsIgnoringAsciiCase(argument, L"/Bit:64")) {
    context.bitness = 64;
  } else if (argument.size() > kPass.size() &&
             EqualsIgnoringAsciiCase(std::wstring_view(argument).substr(0, kPass.size()), kPass)) {
    const std::wstring_view value = std::wstring_view(argument).substr(kPass.size());
    if (!HasQuote(value)) context.password.Assign(value);
  } else if (EqualsIgnoringAsciiCase(argument, L"/RW")) {
    context.allowRewritable = 1;
  } else if (EqualsIgnoringAsciiCase(argument, L"/NV")) {
    context.noBurnVerify = 1;
  } else if (EqualsIgnoringAsciiCase(argument, L"/NE")) {
    context.noEject = 1;
  } else if (EqualsIgnoringAsciiCase(argument, L"/NW")) {
    context.noWrite = 1;
  } else if (EqualsIgnoringAsciiCase(argument, L"/P")) {
    context.allowPartial = 1;
  } else if (context.sourceCount < kMaxSources && !HasQuote(argument) &&
             IsExistingFileOrFolder(argument)) {
    if (context.sources[context.sourceCount].path.Assign(argument)) ++context.sourceCount;
  }
}

}  // namespace

std::optional<uint32_t> ScanUnsigned(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  if (i >= text.size() || text[i] < L'0' || text[i] > L'9') return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  if (negative) value = 0 - value;
  return static_cast<uint32_t>(value);
}

LaunchMode ParseCommandLine(const std::vector<std::wstring>& arguments, RunContext& context) {
  if (arguments.size() < 2) return LaunchMode::kNone;
  LaunchMode mode;
  if (arguments[1] == L"/Mode:Fernlow") {
    mode = LaunchMode::kWizard;
  } else if (arguments[1] == L"/Mode:SevenZip") {
    mode = LaunchMode::kSevenZip;
  } else {
    return LaunchMode::kNone;
  }
  if (arguments.size() > 2) context.discLabel.AssignTruncated(arguments[2]);
  if (arguments.size() > 3) {
    const auto state = ScanUnsigned(arguments[3]);
    if (!state) return mode;
    context.discState = *state;
  }
  for (size_t i = 4; i < arguments.size(); ++i) ApplySwitchOrSource(arguments[i], context);
  return mode;
}

}  // namespace kestrune
