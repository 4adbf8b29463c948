#include "platform/native_path.h"
#include "text/utf8.h"

namespace kestrune::platform {

std::filesystem::path ToNativePath(std::wstring_view path) {
  return std::filesystem::path(text::Utf8FromWide(path));
}

std::wstring FromNativePath(const std::filesystem::path& path) {
  return text::WideFromUtf8(path.native());
}

}  // namespace kestrune::platform
