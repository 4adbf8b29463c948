#include "sabrel/list_file.h"

#include <fstream>
#include <system_error>

namespace kestrune::sabrel {
namespace fs = std::filesystem;

ListFileContent ReadListFile(const fs::path& path) {
  ListFileContent content;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    content.problem = "the list does not exist";
    return content;
  }
  if (!fs::is_regular_file(status)) {
    content.problem = "the list is not a regular file";
    return content;
  }
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) {
    content.problem = "the list cannot be read";
    return content;
  }
  if (size > kMaxListBytes) {
    content.problem = "the list is larger than 16 MiB";
    return content;
  }
  std::ifstream in(path, std::ios::binary);
  content.bytes.resize(static_cast<std::size_t>(size));
  if (!in ||
      !in.read(reinterpret_cast<char*>(content.bytes.data()), static_cast<std::streamsize>(size))) {
    content.bytes.clear();
    content.problem = "the list cannot be read";
  }
  return content;
}

}  // namespace kestrune::sabrel
