#include "sabrel/drive_root.h"
#include "sabrel/text_helpers.h"

namespace kestrune::sabrel {

std::filesystem::path DriveRoot(std::string_view argument) { return PathFromUtf8(argument); }

}  // namespace kestrune::sabrel
