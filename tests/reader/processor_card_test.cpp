// Processor cards: the reset through the reader and the pass-through.
#include <array>

#include "sim_fixture.h"

namespace {

using simreader::Bytes;
using Strings = std::vector<std::string>;

class VelmoraProcessorCard : public VelmoraSimTest {};

TEST_F(VelmoraProcessorCard, ResetReturnsTheAnswerDataAndItsCount) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().ScriptReplies(HexBytes("80 11 00 FE 00"), {HexBytes("3B 8F 80 01 90 00")});
  std::array<uint8_t, 253> answer{};
  uint8_t length = 0;
  EXPECT_EQ(Lib().CPUCard_Reset(answer.data(), &length), 0x9000);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 5), HexBytes("3B 8F 80 01 00"));
}

TEST_F(VelmoraProcessorCard, AFailedResetWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().ForceStatus(0x00, 0xFE, 0x6A82);
  std::array<uint8_t, 4> answer{0xEE, 0xEE, 0xEE, 0xEE};
  uint8_t length = 0xEE;
  EXPECT_EQ(Lib().CPUCard_Reset(answer.data(), &length), 0x6A82);
  EXPECT_EQ(length, 0xEE);
  EXPECT_EQ(answer, (std::array<uint8_t, 4>{0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(VelmoraProcessorCard, NeitherFunctionTouchesTheFindType) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  EXPECT_EQ(Lib().SetFindType(2), 0x9000);
  const Bytes apdu = HexBytes("00 84 00 00 08");
  Reader().ScriptReplies(apdu, {HexBytes("01 02 03 04 05 06 07 08 90 00")});
  std::array<uint8_t, 260> answer{};
  uint8_t length = 0;
  EXPECT_EQ(Lib().CPUCard_RunApdu(apdu.data(), 5, answer.data(), &length), 0x9000);
  EXPECT_EQ(length, 8);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 8), HexBytes("01 02 03 04 05 06 07 08"));
  Lib().CPUCard_Reset(answer.data(), &length);
  EXPECT_EQ(Sent(), (Strings{"801100F200", "0084000008", "801100FE00"}));
}

TEST_F(VelmoraProcessorCard, AFailedExchangeShiftsByTheCallersCount) {
  ASSERT_NO_FATAL_FAILURE(Start());  // no card: no connection can be made
  std::array<uint8_t, 260> answer{};
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>(i);
  uint8_t length = 6;
  const Bytes apdu = HexBytes("00 84 00 00 08");
  EXPECT_EQ(Lib().CPUCard_RunApdu(apdu.data(), 5, answer.data(), &length), 0x6200);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 5), HexBytes("04 05 06 07 04"));
}

}  // namespace
