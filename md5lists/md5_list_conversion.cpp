#include "md5lists/md5_list_conversion.h"

#include <optional>

#include "md5lists/exit_codes.h"
#include "md5lists/list_files.h"
#include "md5lists/list_text.h"
#include "md5lists/md5_list_split.h"

namespace kestrune::harlune {

int ConvertMd5List(const std::filesystem::path& listPath, std::u16string_view listPathText,
                   int partsPerDisc, std::u16string& errors,
                   const std::filesystem::path& outputFolder) {
  std::string bytes;
  const ListReadResult read = ReadListFile(listPath, bytes);
  if (read == ListReadResult::kNotFound) {
    errors.append(listPathText).append(u" not found.\n\n");
    return kExitFileNotFound;
  }
  std::optional<std::u16string> text;
  if (read == ListReadResult::kRead) text = DecodeListText(bytes);
  if (!text) {
    errors.append(listPathText).append(u" cannot be opend.\n\n");
    return kExitAccessDenied;
  }
  bytes = std::string();

  SplitOutcome outcome = SplitMd5List(*text, partsPerDisc);
  if (outcome.exitCode != kExitOk) {
    errors += outcome.errors;
    return outcome.exitCode;
  }
  for (size_t m = 0; m < outcome.discFiles.size(); ++m) {
    const std::string name = "DISC" + std::to_string(m + 1) + "_MD5.txt";
    if (!WriteListFile(outputFolder / name, outcome.discFiles[m])) {
      errors.append(u"Cannot open ").append(name.begin(), name.end()).append(u" for write.\n");
      return kExitAccessDenied;
    }
  }
  return kExitOk;
}

}  // namespace kestrune::harlune
