#include "platform/native_path.h"

namespace kestrune::platform {

std::filesystem::path ToNativePath(std::wstring_view path) { return std::filesystem::path(path); }

std::wstring FromNativePath(const std::filesystem::path& path) { return path.wstring(); }

}  // namespace kestrune::platform
