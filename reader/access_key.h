// The key that opens the card-number blocks: one constant for every card,
// fixed when the library is built (CMake cache variable VELMORA_ACCESS_KEY,
// 12 hexadecimal digits, default FFFFFFFFFFFF, the usual transport key).
#pragma once

#include <array>
#include <cstdint>

#include "reader_command.h"

namespace velmora {

const std::array<uint8_t, kKeySize>& AccessKey();

}  // namespace velmora
