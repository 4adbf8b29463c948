#include "test_support/test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace kestrune::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  do {
    path_ = base / ("kestrune-test-" + std::to_string(random()));
  } while (!fs::create_directory(path_));
}

TempFolder::~TempFolder() {
  std::error_code error;
  // Entries made read-only or unreadable must not survive the test that made them. Links
  // are left alone: changing them would change what they point to, perhaps outside.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_symlink(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    error.clear();
  }
  fs::remove_all(path_, error);
}

fs::path TempFolder::WriteFile(const std::string& relative, std::string_view bytes) const {
  const fs::path file = path_ / relative;
  testing::WriteFile(file, bytes);
  return file;
}

void WriteFile(const fs::path& file, std::string_view bytes) {
  std::error_code error;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace kestrune::testing
