#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "sabrel/md5.h"

namespace kestrune::sabrel {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

/// CNG since Windows Vista. The provider handle lives as long as the instance; a hash
/// object is created per file in a buffer of the size the provider asks for, because
/// letting CNG allocate it is not available on every supported Windows.
struct Md5::Impl {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> hashObject;

  void DestroyHash() {
    if (hash != nullptr) {
      BCryptDestroyHash(hash);
      hash = nullptr;
    }
  }

  ~Impl() {
    DestroyHash();
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Md5::Md5() : impl_(std::make_unique<Impl>()) {
  if (!Succeeded(
          BCryptOpenAlgorithmProvider(&impl_->algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
    impl_->algorithm = nullptr;
    return;
  }
  DWORD objectLength = 0;
  ULONG written = 0;
  if (!Succeeded(BCryptGetProperty(impl_->algorithm, BCRYPT_OBJECT_LENGTH,
                                   reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                   &written, 0))) {
    BCryptCloseAlgorithmProvider(impl_->algorithm, 0);
    impl_->algorithm = nullptr;
    return;
  }
  impl_->hashObject.resize(objectLength);
}

Md5::~Md5() = default;

bool Md5::Ok() const { return impl_->algorithm != nullptr; }

bool Md5::Begin() {
  impl_->DestroyHash();
  if (!Ok()) return false;
  if (!Succeeded(BCryptCreateHash(impl_->algorithm, &impl_->hash, impl_->hashObject.data(),
                                  static_cast<ULONG>(impl_->hashObject.size()), nullptr, 0, 0))) {
    impl_->hash = nullptr;
    return false;
  }
  return true;
}

bool Md5::Update(std::span<const std::byte> data) {
  if (impl_->hash == nullptr) return false;
  // BCryptHashData takes a ULONG length; the buffers are far smaller, but stay exact.
  while (!data.empty()) {
    const std::size_t chunk = std::min<std::size_t>(data.size(), 0x40000000);
    // The input is not modified; the API is merely not const-correct.
    auto* bytes = reinterpret_cast<PUCHAR>(const_cast<std::byte*>(data.data()));
    if (!Succeeded(BCryptHashData(impl_->hash, bytes, static_cast<ULONG>(chunk), 0))) {
      impl_->DestroyHash();
      return false;
    }
    data = data.subspan(chunk);
  }
  return true;
}

std::optional<Md5Digest> Md5::Finish() {
  if (impl_->hash == nullptr) return std::nullopt;
  Md5Digest digest{};
  const bool done =
      Succeeded(BCryptFinishHash(impl_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  impl_->DestroyHash();
  if (!done) return std::nullopt;
  return digest;
}

}  // namespace kestrune::sabrel
