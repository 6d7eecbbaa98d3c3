// Random bytes and hashes: CryptoAPI on Windows, the system and libmd on
// the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Errors.h"

namespace platform {

// Fills Buffer with bytes from the system's cryptographic random source;
// false when it cannot.
bool RandomBytes(void* Buffer, uint32_t Count);

// SHA-256 of a block of bytes: CryptoAPI's AES provider on Windows (XP SP3
// and later), libmd on the host. False when the platform cannot compute it.
bool Sha256(const void* Data, size_t Size, uint8_t Digest[32]);

// MD5 over a stream of pieces: CryptoAPI on Windows, libmd on the host.
class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;
  // False when the platform could not supply the hash.
  bool Ready() const;
  bool Update(const void* Data, uint32_t Size);
  // The 16-byte digest; false when it cannot be fetched.
  bool Final(uint8_t Digest[16]);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
