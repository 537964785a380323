// The readers' own command class: 80 11, a group (00 reader, 01 card), a
// function code, the data length n and n data bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

using Bytes = std::vector<uint8_t>;

namespace function_code {
inline constexpr uint8_t kFindTypeBase = 0xF0;  // plus the find type, modulo 256
inline constexpr uint8_t kReaderId = 0xFD;
inline constexpr uint8_t kHardId = 0x04;
inline constexpr uint8_t kProcessorReset = 0xFE;
inline constexpr uint8_t kCardInit = 0x00;
inline constexpr uint8_t kLoadKey = 0x04;
inline constexpr uint8_t kRead = 0x05;
inline constexpr uint8_t kWrite = 0x06;
inline constexpr uint8_t kIncrement = 0x07;
inline constexpr uint8_t kDecrement = 0x08;
inline constexpr uint8_t kBlockCopy = 0x09;
inline constexpr uint8_t kTransfer = 0x0A;
inline constexpr uint8_t kCreditLoad = 0x0B;
inline constexpr uint8_t kDebitLoad = 0x0C;
}  // namespace function_code

inline constexpr size_t kKeySize = 6;
inline constexpr size_t kBlockSize = 16;

// The low byte of a 32-bit argument, as the one-byte fields carry it.
inline uint8_t LowByte(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

Bytes ReaderLevelCommand(uint8_t functionCode);
Bytes CardLevelCommand(uint8_t functionCode, const Bytes& data = {});

Bytes FindTypeCommand(int32_t findType);
Bytes LoadKeyCommand(int32_t selector1, int32_t selector2, const uint8_t* key);
Bytes ReadCommand(int32_t block);
Bytes WriteCommand(int32_t block, const uint8_t* data);
// Increment, decrement, credit and debit: the block, then the value least
// significant byte first.
Bytes ValueCommand(uint8_t functionCode, int32_t block, int32_t value);
Bytes BlockCopyCommand(int32_t firstBlock, int32_t secondBlock);

}  // namespace velmora
