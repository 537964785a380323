// What the library owes its caller after a card operation, worked out from
// the transmissions the fake PC/SC layer saw: the status of the last
// exchange, the card-level result, and the answer record as the exchange
// leaves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fake_pcsc.h"

namespace card_contract {

struct Outcome {
  uint16_t status = 0;
  // The reply the status came from; null when the exchange failed.
  const fake_pcsc::Transmission* last = nullptr;

  // Received bytes as the library counts them (modulo 256).
  size_t received() const { return last == nullptr ? 0 : last->reply.size() % 256; }
  // Data bytes before the status word; 0 when there is no status word.
  size_t dataLength() const { return received() >= 2 ? received() - 2 : 0; }
  const uint8_t* data() const { return last->reply.data(); }
};

// The last exchange in the log: the card's SW1SW2, 0x6300 for a reply without
// a status word, 0x6201 for a failed GET RESPONSE, 0x6200 for no reply.
Outcome LastExchange();

// 0 on 90 00 with at least `taken` data bytes, else the card-level family's
// result for the status (0x6700 short, 0x6F00 for 00 00).
int32_t CardLevelResult(const Outcome& outcome, size_t taken);

// The reply that ended the exchange of the last transmission of `command`
// (its GET RESPONSE's when it had one); null when there is none.
const fake_pcsc::Transmission* ReplyTo(const std::vector<uint8_t>& command);

// The 260-byte answer record `before` as the exchange of the current log
// leaves it, and the count byte it writes (or `count` when it writes none).
struct Record {
  std::vector<uint8_t> bytes;
  uint8_t count = 0;
};
Record RecordAfterExchange(std::vector<uint8_t> before, uint8_t count);

}  // namespace card_contract
