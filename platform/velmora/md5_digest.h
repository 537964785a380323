// RFC 1321 MD5 for the card-number check value, computed by the system's
// cryptographic library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora::platform {

class Md5Digest {
 public:
  static constexpr size_t kSize = 16;

  Md5Digest() = default;  // the result starts cleared

  // Digests `length` bytes (initialise, add all, finish) and copies the 16
  // bytes to `out`. False when the digest cannot be computed; `out` is then untouched.
  bool Digest(const uint8_t* data, size_t length, uint8_t* out);

 private:
  std::array<uint8_t, kSize> result_{};
};

}  // namespace velmora::platform
