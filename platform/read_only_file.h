#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrune::platform {

/// A file opened for sequential reading. Other readers are allowed; writers are denied where
/// the platform can deny them (Windows share modes; Linux has no such lock).
class ReadOnlyFile {
 public:
  /// Opens `path`. On failure returns nothing and sets `errorDescription` to the system's
  /// description of the failure, naming the file and the cause, in the encoding of the
  /// program's standard output.
  [[nodiscard]] static std::optional<ReadOnlyFile> Open(const std::wstring& path,
                                                        std::string& errorDescription);

  ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kNone;
    }
    return *this;
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() { Close(); }

  /// Reads up to `size` bytes; fewer only at the end of the file. -1 when a read fails.
  [[nodiscard]] int64_t ReadFull(void* buffer, size_t size);

 private:
  static constexpr intptr_t kNone = -1;
  explicit ReadOnlyFile(intptr_t handle) : handle_(handle) {}
  void Close();

  intptr_t handle_ = kNone;
};

}  // namespace kestrune::platform
