#include "reader_command.h"

namespace velmora {
namespace {

constexpr uint8_t kClass = 0x80;
constexpr uint8_t kInstruction = 0x11;
constexpr uint8_t kReaderGroup = 0x00;
constexpr uint8_t kCardGroup = 0x01;

// Built byte by byte: GCC 12 at -O3 misreads a range insert into a fresh
// five-byte vector as an out-of-bounds copy.
Bytes Command(uint8_t group, uint8_t functionCode, const Bytes& data) {
  Bytes command;
  command.reserve(5 + data.size());
  for (uint8_t byte : {kClass, kInstruction, group, functionCode}) command.push_back(byte);
  command.push_back(static_cast<uint8_t>(data.size()));
  for (uint8_t byte : data) command.push_back(byte);
  return command;
}

void Append(Bytes& bytes, const uint8_t* more, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes.push_back(more[i]);
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
  Append(data, key, kKeySize);
  return CardLevelCommand(function_code::kLoadKey, data);
}

Bytes ReadCommand(int32_t block) {
  return CardLevelCommand(function_code::kRead, {LowByte(block)});
}

Bytes WriteCommand(int32_t block, const uint8_t* data) {
  Bytes payload{LowByte(block)};
  Append(payload, data, kBlockSize);
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
