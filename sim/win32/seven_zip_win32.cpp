// The Windows build of the simulated machine keeps USB disks only (the wine tests burn into
// the fake IMAPI2 server): a disc put into a recorder with an image is not made readable.
#include "sim/seven_zip.h"

namespace kestrune::sim {

std::string SevenZipProgram() { return "7z.exe"; }

int RunSevenZip(const std::vector<std::string>&) { return -1; }

bool ExtractImage(const std::filesystem::path&, const std::filesystem::path&) { return false; }

}  // namespace kestrune::sim
