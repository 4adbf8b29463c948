#pragma once

#include <filesystem>
#include <string_view>

namespace kestrune::sabrel {

/// The folder that stands for the drive named by `-d`. On Windows a letter and a colon
/// ("E:") means that drive's root ("E:\"), not its current folder; any other text, on
/// every platform, is a folder path taken as the drive root (the simulated drive on Linux,
/// test folders under Windows).
std::filesystem::path DriveRoot(std::string_view argument);

}  // namespace kestrune::sabrel
