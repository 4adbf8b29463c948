#include "sabrel/drive_root.h"
#include "sabrel/text_helpers.h"

namespace kestrune::sabrel {

std::filesystem::path DriveRoot(std::string_view argument) {
  const bool letterAndColon =
      argument.size() == 2 && argument[1] == ':' &&
      ((argument[0] >= 'A' && argument[0] <= 'Z') || (argument[0] >= 'a' && argument[0] <= 'z'));
  if (letterAndColon) {
    // "E:" alone is the current folder of drive E; the check is always about the root.
    return PathFromUtf8(std::string(argument) + "\\");
  }
  return PathFromUtf8(argument);
}

}  // namespace kestrune::sabrel
