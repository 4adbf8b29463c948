#include "engine/usb_preflight.h"

#include <string>

namespace kestrune::usb {
namespace {

constexpr uint64_t kMiB = 1024ull * 1024;

/// "Key = value" split; false for any other line.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const size_t equals = line.find(" = ");
  if (equals == std::string::npos) {
    // "Key =" with an empty value.
    if (line.size() < 2 || line.compare(line.size() - 2, 2, " =") != 0) return false;
    key = line.substr(0, line.size() - 2);
    value.clear();
    return true;
  }
  key = line.substr(0, equals);
  value = line.substr(equals + 3);
  return true;
}

uint64_t Number(const std::string& text) {
  if (text.empty() || text.size() > 20) return 0;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

uint64_t RoundUp(uint64_t bytes, uint64_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

ImageListing ParseTechnicalListing(std::istream& listing) {
  ImageListing result;
  bool inEntries = false;
  std::string path, folder;
  uint64_t size = 0;
  bool inEntry = false;
  const auto finish = [&] {
    if (!inEntry) return;
    if (folder == "+") {
      ++result.folders;
    } else {
      ++result.files;
      result.fileBytes += size;
      if (size > result.largestBytes) {
        result.largestBytes = size;
        result.largestPath = path;
      }
    }
    inEntry = false;
    path.clear(), folder.clear(), size = 0;
  };
  for (std::string line; std::getline(listing, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "----------") {
      inEntries = true;
      continue;
    }
    std::string key, value;
    if (!KeyValue(line, key, value)) {
      if (line.empty()) finish();
      continue;
    }
    if (!inEntries) {
      if (key == "Type" && !value.empty()) result.opened = true;
      continue;
    }
    if (key == "Path") {
      finish();
      inEntry = true;
      path = value;
    } else if (key == "Folder") {
      folder = value;
    } else if (key == "Size") {
      size = Number(value);
    }
  }
  finish();
  return result;
}

uint64_t Fat32ClusterBytes(uint64_t partitionBytes) {
  if (partitionBytes <= 64 * kMiB) return 512;
  if (partitionBytes <= 128 * kMiB) return 1024;
  if (partitionBytes <= 256 * kMiB) return 2048;
  if (partitionBytes <= 8192 * kMiB) return 4096;
  if (partitionBytes <= 16384 * kMiB) return 8192;
  if (partitionBytes <= 32768 * kMiB) return 16384;
  return 32768;
}

uint64_t Fat32BytesNeeded(const SetListing& set, uint64_t partitionBytes) {
  constexpr uint64_t kReservedBytes = uint64_t{32} * 512;
  // A short entry and, for a long name, about two more of 32 bytes each.
  constexpr uint64_t kEntryBytes = uint64_t{3} * 32;
  const uint64_t cluster = Fat32ClusterBytes(partitionBytes);
  const uint64_t tables = 2 * RoundUp(partitionBytes / cluster * 4, 512);
  // Whole clusters per file: a file's size rounded up (the sizes, rounded one by one, can only
  // grow by less than a cluster each).
  const uint64_t files = set.fileBytes + set.files * (cluster - 1);
  // Every folder, the root included, takes clusters for its entries.
  const uint64_t entries = (set.files + set.folders) * kEntryBytes;
  const uint64_t folders = (set.folders + 1) * cluster + RoundUp(entries, cluster);
  return kReservedBytes + tables + files + folders;
}

}  // namespace kestrune::usb
