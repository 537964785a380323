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
  if (buffer == nullptr || length == nullptr) return kStatusMissingBuffer;
  return CopyAnswerData(Exchange(ReaderLevelCommand(function_code::kReaderId)), buffer, length);
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_GetHardID(unsigned char* buffer) {
  if (buffer == nullptr) return kStatusMissingBuffer;
  const Answer answer = Exchange(ReaderLevelCommand(function_code::kHardId));
  if (answer.status != kStatusSuccess) return CardResult(answer.status);
  if (answer.dataLength() < kBlockSize) return kStatusShortAnswer;
  std::memcpy(buffer, answer.data(), kBlockSize);
  return 0;
}
