#include "platform/host/utf8.h"
#include "platform/native_path.h"

namespace kestrune::platform {

std::filesystem::path ToNativePath(std::wstring_view path) {
  return std::filesystem::path(host::Utf8FromWide(path));
}

std::wstring FromNativePath(const std::filesystem::path& path) {
  return host::WideFromUtf8(path.native());
}

}  // namespace kestrune::platform
