// The one path to the card: sends a command under ReaderLock, opens the
// session when it is closed, retries once after a failed transmission,
// follows one 61 xx with GET RESPONSE, and reports a status word.
#pragma once

#include <cstdint>

namespace velmora {

// Sends the low 8 bits of `commandLength` bytes of `command`. `response` is an
// answer record (VELMORA_ANSWER_RECORD_SIZE bytes). `receivedLength` receives
// the number of bytes received (data and status, modulo 256) whenever a
// complete status word came back; it is left alone otherwise. Returns the
// card's SW1SW2, or VELMORA_SW_NO_READER, VELMORA_SW_GET_RESPONSE_FAILED or
// VELMORA_SW_EMPTY_REPLY.
//
// A reply of one byte holds no status word and is reported like an empty one:
// status VELMORA_SW_EMPTY_REPLY, data length 0, `receivedLength` untouched.
uint16_t ExchangeApdu(const uint8_t* command, int32_t commandLength, uint8_t* response,
                      uint8_t* receivedLength);

}  // namespace velmora
