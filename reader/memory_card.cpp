// The card-level exports of the memory-card family. Each sends one command
// (after the find-type step when needed) and writes the caller's buffers only
// on success.
#include "memory_card.h"

#include <cstring>

#include "card_operation.h"
#include "trace.h"
#include "velmora.h"

namespace velmora {
namespace {

// Answer data: byte 2 the card type, bytes 3 to 6 the serial.
constexpr uint8_t kInitAnswerSize = 7;
constexpr size_t kCardTypeOffset = 2;
constexpr size_t kSerialOffset = 3;

int32_t RunCardCommand(const Bytes& command) {
  return CardResult(ExchangeCardLevel(command).status);
}

}  // namespace

int32_t InitCard(CardIdentity& identity) {
  WriteTrace("开始读序列号");
  const Answer answer = ExchangeCardLevel(CardLevelCommand(function_code::kCardInit));
  if (answer.status != VELMORA_SW_SUCCESS) return CardResult(answer.status);
  if (answer.dataLength() < kInitAnswerSize) return VELMORA_SW_SHORT_ANSWER;
  identity.cardType = answer.data()[kCardTypeOffset];
  std::memcpy(identity.serial.data(), answer.data() + kSerialOffset, identity.serial.size());
  return 0;
}

int32_t LoadKey(int32_t selector1, int32_t selector2, const uint8_t* key) {
  return RunCardCommand(LoadKeyCommand(selector1, selector2, key));
}

int32_t ReadBlock(int32_t block, uint8_t* data) {
  const Answer answer = ExchangeCardLevel(ReadCommand(block));
  if (answer.status != VELMORA_SW_SUCCESS) return CardResult(answer.status);
  if (answer.dataLength() < kBlockSize) return VELMORA_SW_SHORT_ANSWER;
  std::memcpy(data, answer.data(), kBlockSize);
  return 0;
}

}  // namespace velmora

using namespace velmora;

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Init(int32_t /*device*/, unsigned char* serial,
                                                      unsigned char* cardType) {
  if (serial == nullptr || cardType == nullptr) return VELMORA_SW_MISSING_BUFFER;
  CardIdentity identity;
  const int32_t result = InitCard(identity);
  if (result != 0) return result;
  std::memcpy(serial, identity.serial.data(), identity.serial.size());
  *cardType = identity.cardType;
  return 0;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Anticoll(int32_t /*device*/, int32_t /*unused*/,
                                                          unsigned char* serial) {
  if (serial == nullptr) return VELMORA_SW_MISSING_BUFFER;
  CardIdentity identity;
  const int32_t result = InitCard(identity);
  if (result == 0) std::memcpy(serial, identity.serial.data(), identity.serial.size());
  return result;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Select(int32_t /*device*/, int32_t /*unused*/,
                                                        unsigned char* cardType) {
  if (cardType == nullptr) return VELMORA_SW_MISSING_BUFFER;
  CardIdentity identity;
  const int32_t result = InitCard(identity);
  if (result == 0) *cardType = identity.cardType;
  return result;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_LoadKey(int32_t /*device*/, int32_t selector1,
                                                         int32_t selector2,
                                                         const unsigned char* key) {
  if (key == nullptr) return VELMORA_SW_MISSING_BUFFER;
  return LoadKey(selector1, selector2, key);
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Read(int32_t /*device*/, int32_t block,
                                                      unsigned char* data) {
  if (data == nullptr) return VELMORA_SW_MISSING_BUFFER;
  return ReadBlock(block, data);
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Write(int32_t /*device*/, int32_t block,
                                                       const unsigned char* data) {
  if (data == nullptr) return VELMORA_SW_MISSING_BUFFER;
  return RunCardCommand(WriteCommand(block, data));
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Increment(int32_t /*device*/, int32_t block,
                                                           int32_t value) {
  return RunCardCommand(ValueCommand(function_code::kIncrement, block, value));
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Decrement(int32_t /*device*/, int32_t block,
                                                           int32_t value) {
  return RunCardCommand(ValueCommand(function_code::kDecrement, block, value));
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_CreditLoad(int32_t /*device*/, int32_t block,
                                                            int32_t value) {
  return RunCardCommand(ValueCommand(function_code::kCreditLoad, block, value));
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_DebitLoad(int32_t /*device*/, int32_t block,
                                                           int32_t value) {
  return RunCardCommand(ValueCommand(function_code::kDebitLoad, block, value));
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_BlockCopy(int32_t /*device*/, int32_t firstBlock,
                                                           int32_t secondBlock) {
  return RunCardCommand(BlockCopyCommand(firstBlock, secondBlock));
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Transfer(int32_t /*device*/) {
  return RunCardCommand(CardLevelCommand(function_code::kTransfer));
}
