#include "md5lists/harlune_program.h"

#include "md5lists/exit_codes.h"
#include "md5lists/md5_list_conversion.h"
#include "md5lists/md5_list_split.h"
#include "text/ascii_case.h"

namespace kestrune::harlune {
namespace {

using text::EqualsIgnoringAsciiCase;

ProgramResult Usage() {
  return {kExitInvalidParameter, u"Harlune <SL|DL|USB> <MD5 List Path>\n\n", u""};
}

}  // namespace

std::optional<int> PartsPerDiscOfMode(std::u16string_view mode) {
  if (EqualsIgnoringAsciiCase(mode, u"SL")) return kPartsPerSingleLayerDisc;
  if (EqualsIgnoringAsciiCase(mode, u"DL")) return kPartsPerDualLayerDisc;
  if (EqualsIgnoringAsciiCase(mode, u"USB")) return kPartsPerUsbDrive;
  return std::nullopt;
}

ProgramResult RunHarlune(const std::vector<ProgramArgument>& arguments) {
  if (arguments.size() < 2) return Usage();
  const std::optional<int> partsPerDisc = PartsPerDiscOfMode(arguments[0].text);
  if (!partsPerDisc) return Usage();

  std::u16string errors;
  ProgramResult result;
  result.exitCode = ConvertMd5List(arguments[1].native, arguments[1].text, *partsPerDisc, errors);
  if (result.exitCode != kExitOk) result.standardError = std::move(errors);
  return result;
}

}  // namespace kestrune::harlune
