// The record that one exchange fills: byte 0 the reply data length, byte 1
// spare, bytes 2 and 3 the status word (SW2 then SW1), the raw reply (data,
// SW1, SW2) from byte 4.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "velmora.h"

namespace velmora {

inline constexpr size_t kAnswerRecordSize = VELMORA_ANSWER_RECORD_SIZE;
inline constexpr size_t kReplyOffset = 4;
inline constexpr uint32_t kReceiveCapacity = 256;

using AnswerRecord = std::array<uint8_t, kAnswerRecordSize>;

inline uint8_t DataLength(const uint8_t* record) { return record[0]; }
inline const uint8_t* AnswerData(const uint8_t* record) { return record + kReplyOffset; }

inline void StoreStatus(uint8_t* record, uint16_t status) {
  record[2] = static_cast<uint8_t>(status & 0xFF);
  record[3] = static_cast<uint8_t>(status >> 8);
}

}  // namespace velmora
