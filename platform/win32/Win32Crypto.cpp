// MD5 through CryptoAPI: a verify-only context of the RSA full provider.
#include "platform/win32/Win32Common.h"

#include <wincrypt.h>

// Windows XP SP3's AES provider computes SHA-256; the headers declare it only
// for later versions.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif

namespace platform {

struct Md5::Impl {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
};

Md5::Md5() : impl_(std::make_unique<Impl>()) {
  if (::CryptAcquireContextA(&impl_->provider, nullptr, nullptr, PROV_RSA_FULL,
                             CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET)) {
    if (!::CryptCreateHash(impl_->provider, CALG_MD5, 0, 0, &impl_->hash)) impl_->hash = 0;
  } else {
    impl_->provider = 0;
  }
}

Md5::~Md5() {
  if (impl_->hash) ::CryptDestroyHash(impl_->hash);
  if (impl_->provider) ::CryptReleaseContext(impl_->provider, 0);
}

bool Md5::Ready() const { return impl_->hash != 0; }

bool Md5::Update(const void* Data, uint32_t Size) {
  return impl_->hash && ::CryptHashData(impl_->hash, static_cast<const BYTE*>(Data), Size, 0);
}

bool Md5::Final(uint8_t Digest[16]) {
  DWORD size = 16;
  return impl_->hash && ::CryptGetHashParam(impl_->hash, HP_HASHVAL, Digest, &size, 0) && size == 16;
}

}  // namespace platform

namespace platform {

bool Sha256(const void* Data, size_t Size, uint8_t Digest[32]) {
  if (Size > 0xFFFFFFFFu) return false;
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  HCRYPTHASH hash = 0;
  DWORD size = 32;
  bool ok = ::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
            ::CryptHashData(hash, static_cast<const BYTE*>(Data), static_cast<DWORD>(Size), 0) &&
            ::CryptGetHashParam(hash, HP_HASHVAL, Digest, &size, 0) && size == 32;
  if (hash) ::CryptDestroyHash(hash);
  ::CryptReleaseContext(provider, 0);
  return ok;
}

bool RandomBytes(void* Buffer, uint32_t Count) {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
  bool ok = ::CryptGenRandom(provider, Count, static_cast<BYTE*>(Buffer)) != 0;
  ::CryptReleaseContext(provider, 0);
  return ok;
}

}  // namespace platform
