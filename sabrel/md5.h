#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace kestrune::sabrel {

using Md5Digest = std::array<std::uint8_t, 16>;

/// MD5 from the platform's cryptographic library (OpenSSL EVP on Linux, CNG on Windows).
/// One instance hashes one file at a time and is reused for the next; it belongs to one
/// thread. A failure of the library is a value: `Ok()` false after construction, or a false
/// / empty return, never an exception.
class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  /// Whether the library provided the algorithm.
  [[nodiscard]] bool Ok() const;
  /// Starts a new digest, discarding any unfinished one.
  [[nodiscard]] bool Begin();
  [[nodiscard]] bool Update(std::span<const std::byte> data);
  /// Ends the digest started by `Begin`.
  [[nodiscard]] std::optional<Md5Digest> Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrune::sabrel
