// Processor cards: a reset through the reader, and APDUs passed through as
// the caller built them, with no find-type step.
#include <cstring>

#include "card_operation.h"
#include "exchange.h"
#include "velmora.h"

using namespace velmora;

extern "C" VELMORA_API uint16_t VELMORA_CALL CPUCard_Reset(unsigned char* buffer,
                                                           unsigned char* length) {
  if (buffer == nullptr || length == nullptr) return VELMORA_SW_MISSING_BUFFER;
  return CopyAnswerData(Exchange(ReaderLevelCommand(function_code::kProcessorReset)), buffer,
                        length);
}

// `answer` is the exchange's record (260 bytes). Whatever the status, a count
// of 3 or more in `answerLength` loses its status bytes and the data moves to
// offset 0; a failed exchange leaves the caller's count, so the move acts on
// that (at most 253 bytes from offset 4, inside the record).
extern "C" VELMORA_API uint16_t VELMORA_CALL CPUCard_RunApdu(const unsigned char* apdu,
                                                             int32_t apduLength,
                                                             unsigned char* answer,
                                                             unsigned char* answerLength) {
  if (apdu == nullptr || answer == nullptr || answerLength == nullptr) {
    return VELMORA_SW_MISSING_BUFFER;
  }
  const uint16_t status = ExchangeApdu(apdu, apduLength, answer, answerLength);
  if (*answerLength >= 3) {
    *answerLength = static_cast<unsigned char>(*answerLength - 2);
    std::memmove(answer, answer + kReplyOffset, *answerLength);
  }
  return status;
}
