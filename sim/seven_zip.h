#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::sim {

/// The real 7-Zip console program the machine uses to make written discs readable:
/// $KESTRUNE_7ZZ when set, otherwise `7zz` from PATH.
std::string SevenZipProgram();

/// Runs 7-Zip with `arguments` (after the program name), its output discarded, and waits.
/// Returns its exit code, or -1 when it could not be started or did not exit normally.
int RunSevenZip(const std::vector<std::string>& arguments);

/// Unpacks `image` into `folder` (x -y -o...). True on exit code 0.
bool ExtractImage(const std::filesystem::path& image, const std::filesystem::path& folder);

}  // namespace kestrune::sim
