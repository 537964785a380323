// The card number in block 1 (bytes 2 to 5) is trusted only when block 2
// holds the MD5 digest of the check message built from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr size_t kCardNumberSize = 4;
inline constexpr size_t kCheckMessageSize = 16;

// The number bytes, each of them complemented, then "Tarnwick".
std::array<uint8_t, kCheckMessageSize> CheckMessage(const uint8_t* number);

}  // namespace velmora
