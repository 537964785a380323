// Card initialisation shared by the exports that read the serial and type.
#pragma once

#include <array>
#include <cstdint>

namespace velmora {

struct CardIdentity {
  std::array<uint8_t, 4> serial{};
  uint8_t cardType = 0;
};

// Runs the card-init command (with its trace line and find-type step).
// Returns 0 or the status zero-extended; `identity` is filled only on 0.
int32_t InitCard(CardIdentity& identity);

}  // namespace velmora
