// Reader-level exports: they talk to the reader itself and need no find type.
#include <cstring>

#include "card_operation.h"
#include "velmora.h"

using namespace velmora;

extern "C" VELMORA_API uint16_t VELMORA_CALL SetFindType(int32_t findType) {
  return SendFindType(findType);
}

extern "C" VELMORA_API uint16_t VELMORA_CALL GetPIDSN(unsigned char* buffer,
                                                      unsigned char* length) {
  if (buffer == nullptr || length == nullptr) return VELMORA_SW_MISSING_BUFFER;
  return CopyAnswerData(Exchange(ReaderLevelCommand(function_code::kReaderId)), buffer, length);
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_GetHardID(unsigned char* buffer) {
  if (buffer == nullptr) return VELMORA_SW_MISSING_BUFFER;
  const Answer answer = Exchange(ReaderLevelCommand(function_code::kHardId));
  if (answer.status != VELMORA_SW_SUCCESS) return CardResult(answer.status);
  if (answer.dataLength() < kBlockSize) return VELMORA_SW_SHORT_ANSWER;
  std::memcpy(buffer, answer.data(), kBlockSize);
  return 0;
}
