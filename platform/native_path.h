#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrune::platform {

/// Paths are wide strings in the core. These convert them to the file system's own form:
/// UTF-16 on Windows, UTF-8 bytes on Linux (independent of the process locale).
std::filesystem::path ToNativePath(std::wstring_view path);
std::wstring FromNativePath(const std::filesystem::path& path);

}  // namespace kestrune::platform
