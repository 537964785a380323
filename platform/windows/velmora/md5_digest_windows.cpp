// MD5 from the system's cryptography (CNG).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <cstring>
#include <limits>

#include "velmora/md5_digest.h"

namespace velmora::platform {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

bool Md5(const uint8_t* data, size_t length, uint8_t* out) {
  if (length > std::numeric_limits<ULONG>::max()) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
    return false;
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done = Succeeded(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // BCryptHashData takes a non-const buffer but only reads it.
  done = done &&
         Succeeded(BCryptHashData(hash, const_cast<PUCHAR>(data), static_cast<ULONG>(length), 0));
  uint8_t digest[kMd5Size];
  done = done && Succeeded(BCryptFinishHash(hash, digest, kMd5Size, 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (done) std::memcpy(out, digest, kMd5Size);
  return done;
}

}  // namespace velmora::platform
