// What every card function does around its one reader command: the exchange
// into a fresh answer record, the find-type step of the card-level family,
// and the mapping of a status word to the family's result.
#pragma once

#include <cstdint>

#include "answer_record.h"
#include "reader_command.h"

namespace velmora {

struct Answer {
  uint16_t status = 0;
  AnswerRecord record{};

  uint8_t dataLength() const { return DataLength(record.data()); }
  const uint8_t* data() const { return AnswerData(record.data()); }
};

// One exchange of a reader-level command.
Answer Exchange(const Bytes& command);

// A card-level command: first restores find type 0 when the reader may use
// another one; a failed step is the answer and the command is not sent.
Answer ExchangeCardLevel(const Bytes& command);

// Sends the find-type command; on success the reader's find type is known.
uint16_t SendFindType(int32_t findType);

// 0 for success, else the status word zero-extended. A reply of 00 00 is not
// success, though it would read as 0.
int32_t CardResult(uint16_t status);

// Copies all answer data into `buffer` and its count into `length` on
// success; returns the bare status word.
uint16_t CopyAnswerData(const Answer& answer, uint8_t* buffer, uint8_t* length);

}  // namespace velmora
