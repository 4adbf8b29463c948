#include "sim/seven_zip.h"

#include <cstdlib>

#include "platform/host/host_process_launcher.h"

namespace kestrune::sim {

std::string SevenZipProgram() {
  const char* configured = std::getenv("KESTRUNE_7ZZ");
  return configured && *configured ? configured : "7zz";
}

int RunSevenZip(const std::vector<std::string>& arguments) {
  std::vector<std::string> all{SevenZipProgram()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return platform::host::RunQuietly(std::move(all));
}

bool ExtractImage(const std::filesystem::path& image, const std::filesystem::path& folder) {
  return RunSevenZip({"x", "-y", "-bd", "-o" + folder.string(), image.string()}) == 0;
}

}  // namespace kestrune::sim
