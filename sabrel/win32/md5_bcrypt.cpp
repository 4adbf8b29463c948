#include "platform/win32/windows_support.h"

// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "sabrel/md5.h"

namespace kestrune::sabrel {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

struct AlgorithmProviderTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static bool Close(Handle handle) noexcept {
    return Succeeded(BCryptCloseAlgorithmProvider(handle, 0));
  }
};

struct HashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static bool Close(Handle handle) noexcept { return Succeeded(BCryptDestroyHash(handle)); }
};

}  // namespace

/// CNG since Windows Vista. The provider handle lives as long as the instance; a hash
/// object is created per file in a buffer of the size the provider asks for, because
/// letting CNG allocate it is not available on every supported Windows. The hash is
/// declared last so that it is destroyed before the buffer it lives in.
struct Md5::Impl {
  windows::ScopedOwner<AlgorithmProviderTraits> algorithm;
  std::vector<UCHAR> hashObject;
  windows::ScopedOwner<HashTraits> hash;
};

Md5::Md5() : impl_(std::make_unique<Impl>()) {
  windows::ScopedOwner<AlgorithmProviderTraits> algorithm;
  if (!Succeeded(
          BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
    static_cast<void>(algorithm.Release());  // a failed call hands out no provider
    return;
  }
  DWORD objectLength = 0;
  ULONG written = 0;
  if (!Succeeded(BCryptGetProperty(algorithm.get(), BCRYPT_OBJECT_LENGTH,
                                   reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                   &written, 0))) {
    return;
  }
  impl_->hashObject.resize(objectLength);
  impl_->algorithm = std::move(algorithm);
}

Md5::~Md5() = default;

bool Md5::Ok() const { return impl_->algorithm.valid(); }

bool Md5::Begin() {
  impl_->hash.Reset();
  if (!Ok()) return false;
  if (!Succeeded(BCryptCreateHash(impl_->algorithm.get(), impl_->hash.Receive(),
                                  impl_->hashObject.data(),
                                  static_cast<ULONG>(impl_->hashObject.size()), nullptr, 0, 0))) {
    static_cast<void>(impl_->hash.Release());  // a failed call hands out no hash
    return false;
  }
  return true;
}

bool Md5::Update(std::span<const std::byte> data) {
  if (!impl_->hash.valid()) return false;
  // BCryptHashData takes a ULONG length; the buffers are far smaller, but stay exact.
  while (!data.empty()) {
    const std::size_t chunk = std::min<std::size_t>(data.size(), 0x40000000);
    // The input is not modified; the API is merely not const-correct.
    auto* bytes = reinterpret_cast<PUCHAR>(const_cast<std::byte*>(data.data()));
    if (!Succeeded(BCryptHashData(impl_->hash.get(), bytes, static_cast<ULONG>(chunk), 0))) {
      impl_->hash.Reset();
      return false;
    }
    data = data.subspan(chunk);
  }
  return true;
}

std::optional<Md5Digest> Md5::Finish() {
  if (!impl_->hash.valid()) return std::nullopt;
  Md5Digest digest{};
  const bool done = Succeeded(
      BCryptFinishHash(impl_->hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
  impl_->hash.Reset();
  if (!done) return std::nullopt;
  return digest;
}

}  // namespace kestrune::sabrel
