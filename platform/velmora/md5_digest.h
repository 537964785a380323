// RFC 1321 MD5 for the card-number check value, computed by the system's
// cryptographic library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::platform {

inline constexpr size_t kMd5Size = 16;

// Digests `length` bytes into the 16 bytes at `out`. False when the digest
// cannot be computed; `out` is then untouched.
bool Md5(const uint8_t* data, size_t length, uint8_t* out);

}  // namespace velmora::platform
