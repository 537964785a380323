#include "reader_command.h"

namespace velmora {
namespace {

constexpr uint8_t kClass = 0x80;
constexpr uint8_t kInstruction = 0x11;
constexpr uint8_t kReaderGroup = 0x00;
constexpr uint8_t kCardGroup = 0x01;

Bytes Command(uint8_t group, uint8_t functionCode, const Bytes& data) {
  Bytes command{kClass, kInstruction, group, functionCode, static_cast<uint8_t>(data.size())};
  command.insert(command.end(), data.begin(), data.end());
  return command;
}

}  // namespace

Bytes ReaderLevelCommand(uint8_t functionCode) { return Command(kReaderGroup, functionCode, {}); }

Bytes CardLevelCommand(uint8_t functionCode, const Bytes& data) {
  return Command(kCardGroup, functionCode, data);
}

Bytes FindTypeCommand(int32_t findType) {
  return ReaderLevelCommand(static_cast<uint8_t>(function_code::kFindTypeBase + LowByte(findType)));
}

Bytes LoadKeyCommand(int32_t selector1, int32_t selector2, const uint8_t* key) {
  Bytes data{LowByte(selector1), LowByte(selector2)};
  data.insert(data.end(), key, key + kKeySize);
  return CardLevelCommand(function_code::kLoadKey, data);
}

Bytes ReadCommand(int32_t block) {
  return CardLevelCommand(function_code::kRead, {LowByte(block)});
}

Bytes WriteCommand(int32_t block, const uint8_t* data) {
  Bytes payload{LowByte(block)};
  payload.insert(payload.end(), data, data + kBlockSize);
  return CardLevelCommand(function_code::kWrite, payload);
}

Bytes ValueCommand(uint8_t functionCode, int32_t block, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return CardLevelCommand(
      functionCode, {LowByte(block), static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                     static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)});
}

Bytes BlockCopyCommand(int32_t firstBlock, int32_t secondBlock) {
  return CardLevelCommand(function_code::kBlockCopy, {LowByte(firstBlock), LowByte(secondBlock)});
}

}  // namespace velmora
