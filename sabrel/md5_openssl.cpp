#include <openssl/evp.h>

#include "sabrel/md5.h"

namespace kestrune::sabrel {

struct Md5::Impl {
  EVP_MD* md = nullptr;
  EVP_MD_CTX* ctx = nullptr;
  bool started = false;

  ~Impl() {
    EVP_MD_CTX_free(ctx);
    EVP_MD_free(md);
  }
};

// The algorithm is fetched once per instance rather than on every file, which keeps the
// provider lookup out of the per-file cost on sets of many small files.
Md5::Md5() : impl_(std::make_unique<Impl>()) {
  impl_->md = EVP_MD_fetch(nullptr, "MD5", nullptr);
  impl_->ctx = EVP_MD_CTX_new();
}

Md5::~Md5() = default;

bool Md5::Ok() const { return impl_->md != nullptr && impl_->ctx != nullptr; }

bool Md5::Begin() {
  impl_->started = Ok() && EVP_DigestInit_ex(impl_->ctx, impl_->md, nullptr) == 1;
  return impl_->started;
}

bool Md5::Update(std::span<const std::byte> data) {
  if (!impl_->started) {
    return false;
  }
  if (data.empty()) {
    return true;
  }
  impl_->started = EVP_DigestUpdate(impl_->ctx, data.data(), data.size()) == 1;
  return impl_->started;
}

std::optional<Md5Digest> Md5::Finish() {
  if (!impl_->started) {
    return std::nullopt;
  }
  impl_->started = false;
  Md5Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(impl_->ctx, digest.data(), &length) != 1 || length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace kestrune::sabrel
