#include "card_operation.h"

#include <cstring>

#include "exchange.h"
#include "session_state.h"

namespace velmora {

Answer Exchange(const Bytes& command) {
  Answer answer;
  uint8_t received = 0;
  answer.status = ExchangeApdu(command.data(), static_cast<int32_t>(command.size()),
                               answer.record.data(), &received);
  return answer;
}

Answer ExchangeCardLevel(const Bytes& command) {
  if (CurrentFindType().load() != 0) {
    const uint16_t status = SendFindType(0);
    if (status != VELMORA_SW_SUCCESS) return Answer{status, {}};
  }
  return Exchange(command);
}

uint16_t SendFindType(int32_t findType) {
  const Answer answer = Exchange(FindTypeCommand(findType));
  if (answer.status == VELMORA_SW_SUCCESS) CurrentFindType().store(LowByte(findType));
  return answer.status;
}

int32_t CardResult(uint16_t status) {
  if (status == VELMORA_SW_SUCCESS) return 0;
  if (status == 0) return VELMORA_SW_NO_STATUS_WORD;
  return status;
}

uint16_t CopyAnswerData(const Answer& answer, uint8_t* buffer, uint8_t* length) {
  if (answer.status != VELMORA_SW_SUCCESS) return answer.status;
  std::memcpy(buffer, answer.data(), answer.dataLength());
  *length = answer.dataLength();
  return VELMORA_SW_SUCCESS;
}

}  // namespace velmora
