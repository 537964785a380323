// The memory-card family: the exact commands sent, the find-type step, and
// what reaches the caller's buffers.
#include <array>

#include "sim_fixture.h"

namespace {

using simreader::Bytes;
using Strings = std::vector<std::string>;
using Block = std::array<uint8_t, 16>;

constexpr uint16_t kSuccess = 0x9000;

Block Filled(uint8_t value) {
  Block block;
  block.fill(value);
  return block;
}

simreader::MemoryCard NumberedCard() {
  simreader::MemoryCard card;
  card.cardType = 0x08;
  card.serial = {0x11, 0x22, 0x33, 0x44};
  for (size_t i = 0; i < card.blocks.size(); ++i) {
    for (size_t j = 0; j < 16; ++j) card.blocks[i][j] = static_cast<uint8_t>(i * 16 + j);
  }
  return card;
}

// A block in the usual value layout: value, its complement, value, then the
// address byte four times, alternately complemented.
Block ValueBlock(int32_t value, uint8_t address) {
  Block block{};
  const auto bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) {
    block[i] = block[8 + i] = static_cast<uint8_t>(bits >> (8 * i));
    block[4 + i] = static_cast<uint8_t>(~bits >> (8 * i));
  }
  block[12] = block[14] = address;
  block[13] = block[15] = static_cast<uint8_t>(~address);
  return block;
}

class VelmoraMemoryCard : public VelmoraSimTest {};

TEST_F(VelmoraMemoryCard, TheFirstCardOperationAfterLoadSetsFindTypeZeroFirst) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(InsertCard(NumberedCard()));
  Block data = Filled(0xEE);
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);
  EXPECT_EQ(Sent(), (Strings{"801100F000", "801101050101"}));
  EXPECT_EQ(data[0], 0x10);
  EXPECT_EQ(data[15], 0x1F);
}

TEST_F(VelmoraMemoryCard, TheFirstOpenMakesTheUnknownFindTypeZero) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(NumberedCard()));
  Block data{};
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);
  EXPECT_EQ(Sent(), Strings{"801101050101"});
}

TEST_F(VelmoraMemoryCard, AnOtherFindTypeIsRestoredOnceBeforeTheNextCardOperation) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(NumberedCard()));
  EXPECT_EQ(Lib().SetFindType(1), kSuccess);
  EXPECT_EQ(Reader().FindType(), 1);
  Block data{};
  EXPECT_EQ(Lib().Card_Read(0, 2, data.data()), 0);
  EXPECT_EQ(Lib().Card_Read(0, 3, data.data()), 0);
  EXPECT_EQ(Sent(), (Strings{"801100F100", "801100F000", "801101050102", "801101050103"}));
}

TEST_F(VelmoraMemoryCard, AFindTypeSetBeforeTheFirstOpenIsKeptByIt) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(InsertCard(NumberedCard()));
  EXPECT_EQ(Lib().SetFindType(1), kSuccess);
  EXPECT_EQ(Lib().ReadCard_Exit(0), 0);
  EXPECT_GE(Lib().ReadCard_Init(0, 0), 1);
  Reader().ClearLog();
  Block data{};
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);
  EXPECT_EQ(Sent(), (Strings{"801100F000", "801101050101"}));
}

TEST_F(VelmoraMemoryCard, FindTypeCodesWrapAndTheLowByteIsKept) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(NumberedCard()));
  Reader().ScriptReplies(HexBytes("80 11 00 00 00"), {HexBytes("90 00")});
  Block data{};
  EXPECT_EQ(Lib().SetFindType(16), kSuccess);
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);  // 16 is not 0: the step runs
  EXPECT_EQ(Lib().SetFindType(256), kSuccess);
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);  // 256 stored as 0: no step
  EXPECT_EQ(Sent(),
            (Strings{"8011000000", "801100F000", "801101050101", "801100F000", "801101050101"}));
}

TEST_F(VelmoraMemoryCard, AFailedFindTypeStepIsTheResultAndTheCommandIsNotSent) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(NumberedCard()));
  EXPECT_EQ(Lib().SetFindType(1), kSuccess);
  Reader().ForceStatus(0x00, 0xF0, 0x6A81);
  Block data = Filled(0xEE);
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0x6A81);
  EXPECT_EQ(data, Filled(0xEE));
  Reader().ClearForcedStatus();
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);  // still not 0: the step runs again
  EXPECT_EQ(Sent(), (Strings{"801100F100", "801100F000", "801100F000", "801101050101"}));
}

TEST_F(VelmoraMemoryCard, AFailedSetFindTypeKeepsTheFindType) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(NumberedCard()));
  Reader().ForceStatus(0x00, 0xF3, 0x6A81);
  EXPECT_EQ(Lib().SetFindType(3), 0x6A81);
  Block data{};
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0);
  EXPECT_EQ(Sent(), (Strings{"801100F300", "801101050101"}));
}

TEST_F(VelmoraMemoryCard, ValueOperationsSendTheBlockAndTheValueLowByteFirst) {
  simreader::MemoryCard card;
  card.blocks[4] = ValueBlock(100, 4);
  card.blocks[5] = ValueBlock(1000, 5);
  ASSERT_NO_FATAL_FAILURE(StartConnected(card));
  EXPECT_EQ(Lib().Card_Increment(0, 4, 258), 0);
  EXPECT_EQ(Lib().Card_Decrement(0, 4, 1), 0);
  EXPECT_EQ(Lib().Card_CreditLoad(0, 5, 0x01020304), 0);
  EXPECT_EQ(Lib().Card_DebitLoad(0, 5, -1), 0);
  EXPECT_EQ(Lib().Card_BlockCopy(0, 4, 5), 0);
  EXPECT_EQ(Lib().Card_Transfer(0), 0);
  EXPECT_EQ(Sent(), (Strings{"80110107050402010000", "80110108050401000000", "8011010B050504030201",
                             "8011010C0505FFFFFFFF", "80110109020405", "8011010A00"}));
}

TEST_F(VelmoraMemoryCard, WriteSends22BytesAndTheCardKeepsThem) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Block data;
  for (uint8_t i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0xA0 + i);
  EXPECT_EQ(Lib().Card_Write(0, 8, data.data()), 0);
  ASSERT_EQ(Reader().Log().size(), 1u);
  EXPECT_EQ(Reader().Log()[0].command.size(), 22u);
  EXPECT_EQ(Sent(), Strings{"801101061108A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"});
  EXPECT_EQ(Reader().Card().blocks[8], data);
}

TEST_F(VelmoraMemoryCard, LoadKeySends13Bytes) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const uint8_t key[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  EXPECT_EQ(Lib().Card_LoadKey(0, 0, 1, key), 0);
  EXPECT_EQ(Sent(), Strings{"80110104080001A0A1A2A3A4A5"});
}

TEST_F(VelmoraMemoryCard, InitGivesTypeAndSerialAndItsVariantsOneOfThem) {
  ASSERT_NO_FATAL_FAILURE(StartConnected(NumberedCard()));
  std::array<uint8_t, 4> serial{};
  uint8_t type = 0;
  EXPECT_EQ(Lib().Card_Init(0, serial.data(), &type), 0);
  EXPECT_EQ(serial, (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(type, 0x08);

  std::array<uint8_t, 4> anticollSerial{};
  EXPECT_EQ(Lib().Card_Anticoll(0, 0, anticollSerial.data()), 0);
  EXPECT_EQ(anticollSerial, serial);
  uint8_t selectType = 0;
  EXPECT_EQ(Lib().Card_Select(0, 0, &selectType), 0);
  EXPECT_EQ(selectType, 0x08);
  EXPECT_EQ(Sent(), (Strings{"8011010000", "8011010000", "8011010000"}));
}

// An empty answer to a read gives 6300; a success with too few data bytes is
// refused. Neither touches the caller's bytes.
TEST_F(VelmoraMemoryCard, ASuccessWithTooFewDataBytesIsRefusedAndNothingCopied) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().ScriptReplies(HexBytes("80 11 01 05 01 01"), {{}, HexBytes("01 02 03 04 90 00")});
  Block data = Filled(0xEE);
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0x6300);
  EXPECT_EQ(data, Filled(0xEE));
  EXPECT_EQ(Lib().Card_Read(0, 1, data.data()), 0x6700);
  EXPECT_EQ(data, Filled(0xEE));

  Reader().ScriptReplies(HexBytes("80 11 01 00 00"), {HexBytes("00 00 08 11 22 33 90 00")});
  std::array<uint8_t, 4> serial{0xEE, 0xEE, 0xEE, 0xEE};
  uint8_t type = 0xEE;
  EXPECT_EQ(Lib().Card_Init(0, serial.data(), &type), 0x6700);
  EXPECT_EQ(serial, (std::array<uint8_t, 4>{0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(type, 0xEE);

  Reader().ScriptReplies(HexBytes("80 11 00 04 00"), {HexBytes("01 02 90 00")});
  EXPECT_EQ(Lib().Card_GetHardID(data.data()), 0x6700);
  EXPECT_EQ(data, Filled(0xEE));
}

TEST_F(VelmoraMemoryCard, AZeroStatusWordIsNotReportedAsSuccess) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().ScriptReplies(HexBytes("80 11 01 0A 00"), {HexBytes("00 00")});
  EXPECT_EQ(Lib().Card_Transfer(0), 0x6F00);
}

TEST_F(VelmoraMemoryCard, CardStatusWordsComeBackZeroExtended) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().ForceStatus(0x01, 0x06, 0x9C02);
  Block data{};
  EXPECT_EQ(Lib().Card_Write(0, 4, data.data()), 0x9C02);
  Reader().ForceStatus(0x01, 0x05, 0x6A82);
  Block read = Filled(0xEE);
  EXPECT_EQ(Lib().Card_Read(0, 4, read.data()), 0x6A82);
  EXPECT_EQ(read, Filled(0xEE));
}

TEST_F(VelmoraMemoryCard, ReaderLevelFunctionsReturnTheBareStatusWord) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  EXPECT_EQ(Lib().SetFindType(0), kSuccess);

  Reader().ScriptReplies(HexBytes("80 11 00 FD 00"), {HexBytes("4B 33 37 30 90 00")});
  std::array<uint8_t, 253> id{};
  uint8_t length = 0;
  EXPECT_EQ(Lib().GetPIDSN(id.data(), &length), kSuccess);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Bytes(id.begin(), id.begin() + 4), HexBytes("4B 33 37 30"));

  Reader().ForceStatus(0x00, 0xFD, 0x6D00);
  length = 0xEE;
  EXPECT_EQ(Lib().GetPIDSN(id.data(), &length), 0x6D00);
  EXPECT_EQ(length, 0xEE);

  Block hardId{};
  EXPECT_EQ(Lib().Card_GetHardID(hardId.data()), 0);
  EXPECT_EQ(Sent(), (Strings{"801100F000", "801100FD00", "801100FD00", "8011000400"}));
}

}  // namespace
