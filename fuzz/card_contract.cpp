#include "card_contract.h"

#include <cstring>

#include "card_operation.h"

namespace card_contract {

using fake_pcsc::Log;
using fake_pcsc::Transmission;

Outcome LastExchange() {
  const std::vector<Transmission>& log = Log();
  if (log.empty()) return {VELMORA_SW_NO_READER, nullptr};
  const Transmission& last = log.back();
  if (last.code != SCARD_S_SUCCESS) {
    return {last.getResponse ? VELMORA_SW_GET_RESPONSE_FAILED : VELMORA_SW_NO_READER, nullptr};
  }
  Outcome outcome{VELMORA_SW_EMPTY_REPLY, &last};
  const size_t received = outcome.received();
  if (received >= 2) {
    outcome.status =
        static_cast<uint16_t>(last.reply[received - 2] << 8 | last.reply[received - 1]);
  }
  return outcome;
}

int32_t CardLevelResult(const Outcome& outcome, size_t taken) {
  if (outcome.status == VELMORA_SW_SUCCESS) {
    return outcome.dataLength() >= taken ? 0 : VELMORA_SW_SHORT_ANSWER;
  }
  return outcome.status == 0 ? VELMORA_SW_NO_STATUS_WORD : outcome.status;
}

const Transmission* ReplyTo(const std::vector<uint8_t>& command) {
  const std::vector<Transmission>& log = Log();
  for (size_t i = log.size(); i-- > 0;) {
    if (log[i].command != command) continue;
    const Transmission* reply = &log[i];
    if (i + 1 < log.size() && log[i + 1].getResponse) reply = &log[i + 1];
    return reply->code == SCARD_S_SUCCESS ? reply : nullptr;
  }
  return nullptr;
}

Record RecordAfterExchange(std::vector<uint8_t> before, uint8_t count) {
  Record record{std::move(before), count};
  // PC/SC writes every received byte from offset 4, also those of a reply
  // that a GET RESPONSE replaces.
  for (const Transmission& transmission : Log()) {
    if (transmission.reply.empty()) continue;
    std::memcpy(record.bytes.data() + velmora::kReplyOffset, transmission.reply.data(),
                transmission.reply.size());
  }
  const Outcome outcome = LastExchange();
  if (outcome.last == nullptr) return record;  // failed: no field written
  record.bytes[0] = static_cast<uint8_t>(outcome.dataLength());
  record.bytes[2] = static_cast<uint8_t>(outcome.status & 0xFF);
  record.bytes[3] = static_cast<uint8_t>(outcome.status >> 8);
  if (outcome.received() >= 2) record.count = static_cast<uint8_t>(outcome.received());
  return record;
}

}  // namespace card_contract
