#include "sim/iso_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace kestrune::sim {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSector = 2048;
constexpr int kMaxDepth = 64;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool ReadAt(int fd, uint64_t offset, void* data, size_t size) {
  auto* out = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got <= 0) return false;
    out += got, offset += static_cast<uint64_t>(got), size -= static_cast<size_t>(got);
  }
  return true;
}

// Appends `size` bytes of the image from `offset` to `out`, inside the kernel where it can.
bool CopyRange(int image, uint64_t offset, int out, uint64_t size) {
  auto from = static_cast<off_t>(offset);
  while (size > 0) {
    const ssize_t copied = ::copy_file_range(image, &from, out, nullptr, size, 0);
    if (copied <= 0) break;
    size -= static_cast<uint64_t>(copied);
  }
  std::vector<char> buffer(1 << 20);
  while (size > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    if (!ReadAt(image, static_cast<uint64_t>(from), buffer.data(), want) ||
        ::write(out, buffer.data(), want) != static_cast<ssize_t>(want)) {
      return false;
    }
    from += static_cast<off_t>(want), size -= want;
  }
  return true;
}

// A Joliet name (UCS-2 big-endian, ";1" version suffix) as UTF-8; empty when it is not a
// plain file or folder name.
std::string JolietName(const uint8_t* name, size_t length) {
  std::wstring wide;
  for (size_t i = 0; i + 1 < length; i += 2) {
    const auto c = static_cast<wchar_t>(name[i] << 8 | name[i + 1]);
    if (c == L';') break;
    if (c < 0x20 || c == L'/' || c == L'\\' || (c >= 0xD800 && c <= 0xDFFF)) return {};
    wide.push_back(c);
  }
  if (wide == L"." || wide == L"..") return {};
  return text::Utf8FromWide(wide);
}

bool ExtractDirectory(int image, uint64_t imageSize, uint32_t extent, uint32_t size,
                      const fs::path& folder, int depth) {
  if (depth > kMaxDepth || static_cast<uint64_t>(extent) * kSector + size > imageSize) return false;
  std::vector<uint8_t> records(size);
  if (!ReadAt(image, static_cast<uint64_t>(extent) * kSector, records.data(), size)) return false;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return false;

  std::string openName;  // a multi-extent file continues in the next record of that name
  std::unique_ptr<Fd> openFile;
  for (size_t at = 0; at < records.size();) {
    const uint8_t length = records[at];
    if (length == 0) {  // records do not cross sectors: go on at the next one
      at = (at / kSector + 1) * kSector;
      continue;
    }
    if (length < 34 || at + length > records.size() || 33u + records[at + 32] > length)
      return false;
    const uint8_t* record = &records[at];
    at += length;
    const uint8_t nameLength = record[32];
    if (nameLength == 1 && record[33] <= 1) continue;  // "." and ".."
    const std::string name = JolietName(record + 33, nameLength);
    if (name.empty()) return false;
    const uint32_t dataExtent = Le32(record + 2), dataSize = Le32(record + 10);
    const uint8_t flags = record[25];
    if (flags & 0x02) {
      if (!ExtractDirectory(image, imageSize, dataExtent, dataSize, folder / name, depth + 1))
        return false;
      continue;
    }
    if (static_cast<uint64_t>(dataExtent) * kSector + dataSize > imageSize) return false;
    if (!openFile || openName != name) {
      openFile = std::make_unique<Fd>(
          ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
      openName = name;
      if (openFile->get() < 0) return false;
    }
    if (!CopyRange(image, static_cast<uint64_t>(dataExtent) * kSector, openFile->get(), dataSize))
      return false;
    if (!(flags & 0x80)) openFile.reset(), openName.clear();
  }
  return true;
}

}  // namespace

bool ExtractIsoFiles(const fs::path& image, const fs::path& folder) {
  const Fd fd(::open(image.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  const off_t end = ::lseek(fd.get(), 0, SEEK_END);
  if (end <= 0) return false;
  const auto imageSize = static_cast<uint64_t>(end);
  // The volume descriptors begin at sector 16; the Joliet one is a supplementary descriptor
  // (type 2) with one of the three UCS-2 escape sequences.
  for (uint64_t sector = 16; sector < 64; ++sector) {
    uint8_t descriptor[kSector];
    if (!ReadAt(fd.get(), sector * kSector, descriptor, kSector)) return false;
    if (std::memcmp(descriptor + 1, "CD001", 5) != 0 || descriptor[0] == 255) return false;
    const bool joliet = descriptor[0] == 2 && descriptor[88] == '%' && descriptor[89] == '/' &&
                        (descriptor[90] == '@' || descriptor[90] == 'C' || descriptor[90] == 'E');
    if (!joliet) continue;
    const uint8_t* root = descriptor + 156;
    return ExtractDirectory(fd.get(), imageSize, Le32(root + 2), Le32(root + 10), folder, 0);
  }
  return false;
}

}  // namespace kestrune::sim
