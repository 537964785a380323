#include "reader_command.h"

#include <gtest/gtest.h>

#include "trace.h"

namespace velmora {
namespace {

std::string Hex(const Bytes& bytes) {
  return BytesToHex(bytes.data(), static_cast<int32_t>(bytes.size()));
}

TEST(VelmoraReaderCommand, FindTypeCodeWrapsModulo256) {
  EXPECT_EQ(Hex(FindTypeCommand(0)), "801100F000");
  EXPECT_EQ(Hex(FindTypeCommand(1)), "801100F100");
  EXPECT_EQ(Hex(FindTypeCommand(16)), "8011000000");
  EXPECT_EQ(Hex(FindTypeCommand(256)), "801100F000");
}

TEST(VelmoraReaderCommand, ValuesGoLeastSignificantByteFirst) {
  EXPECT_EQ(Hex(ValueCommand(function_code::kIncrement, 4, 258)), "80110107050402010000");
  EXPECT_EQ(Hex(ValueCommand(function_code::kDebitLoad, 0x104, -2)), "8011010C0504FEFFFFFF");
}

TEST(VelmoraReaderCommand, BlockCommandsCarryTheLowByteOfTheirArguments) {
  EXPECT_EQ(Hex(ReadCommand(0x102)), "801101050102");
  EXPECT_EQ(Hex(BlockCopyCommand(4, 5)), "80110109020405");
  EXPECT_EQ(Hex(CardLevelCommand(function_code::kTransfer)), "8011010A00");
  EXPECT_EQ(Hex(ReaderLevelCommand(function_code::kProcessorReset)), "801100FE00");
}

TEST(VelmoraReaderCommand, KeyAndBlockDataAreCopiedUnchanged) {
  const uint8_t key[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  const Bytes loadKey = LoadKeyCommand(0, 1, key);
  EXPECT_EQ(loadKey.size(), 13u);
  EXPECT_EQ(Hex(loadKey), "80110104080001A0A1A2A3A4A5");

  uint8_t data[16];
  for (uint8_t i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0xF0 + i);
  const Bytes write = WriteCommand(8, data);
  EXPECT_EQ(write.size(), 22u);
  EXPECT_EQ(Hex(write), "801101061108F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF");
}

}  // namespace
}  // namespace velmora
