// The memory-card steps that several exports take: card initialisation (the
// serial and type), loading a key and reading a block. The card-number read
// calls these, never the exports.
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

// Loads the 6-byte `key`. 0 or the status zero-extended.
int32_t LoadKey(int32_t selector1, int32_t selector2, const uint8_t* key);

// Reads a 16-byte block into `data`, written only on 0. 0, the status
// zero-extended, or VELMORA_SW_SHORT_ANSWER.
int32_t ReadBlock(int32_t block, uint8_t* data);

}  // namespace velmora
