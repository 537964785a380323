// The card-number read: every result code, the commands it sends, and the
// check value computed independently of the library.
#include <array>
#include <cstdio>

#include "sim_fixture.h"

namespace {

using simreader::Bytes;
using simreader::MemoryCard;
using Strings = std::vector<std::string>;
using Number = std::array<uint8_t, 4>;

const Number kUntouched{0xEE, 0xEE, 0xEE, 0xEE};

std::string AccessKeyHex() {
  std::string key = VELMORA_ACCESS_KEY_HEX;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// MD5 of 01 02 03 04 FE FD FC FB "Tarnwick", and of the zero number's
// message, as a separate MD5 implementation computes them.
const Bytes kCheck01020304 = HexBytes("989e6eddf6aee47daca371495257a233");
const Bytes kCheckZero = HexBytes("58a111eca46ac73efa07a5c6edd94480");

MemoryCard CardWith(const Number& number, const Bytes& check) {
  MemoryCard card;
  std::copy(number.begin(), number.end(), card.blocks[1].begin() + 2);
  std::copy(check.begin(), check.end(), card.blocks[2].begin());
  return card;
}

class VelmoraCardNumber : public VelmoraSimTest {
 protected:
  int32_t ReadNumber() { return Lib().Card_ReadCardNo(0, number_.data()); }
  Number number_ = kUntouched;
};

// The zero number is a number like any other, and the bytes of block 1
// around the number, like the serial, play no part.
TEST_F(VelmoraCardNumber, AGoodCardGivesItsNumberAfterFourCommands) {
  MemoryCard demoWithOtherBytes = simreader::DemoCard();
  demoWithOtherBytes.blocks[1][0] = 0x5A;
  demoWithOtherBytes.blocks[1][15] = 0xA5;
  demoWithOtherBytes.serial = {9, 9, 9, 9};
  const struct {
    MemoryCard card;
    Number number;
  } cases[] = {{CardWith({1, 2, 3, 4}, kCheck01020304), {1, 2, 3, 4}},
               {CardWith({0, 0, 0, 0}, kCheckZero), {0, 0, 0, 0}},
               {demoWithOtherBytes, {1, 2, 3, 4}}};
  for (const auto& [card, number] : cases) {
    ASSERT_NO_FATAL_FAILURE(StartConnected(card));
    number_ = kUntouched;
    EXPECT_EQ(ReadNumber(), 0);
    EXPECT_EQ(number_, number);
    EXPECT_EQ(Sent(), (Strings{"8011010000", "80110104080001" + AccessKeyHex(), "801101050101",
                               "801101050102"}));
    TearDown();
  }
}

TEST_F(VelmoraCardNumber, AnotherFindTypeIsRestoredFirst) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  EXPECT_EQ(Lib().SetFindType(1), 0x9000);
  Reader().ClearLog();
  EXPECT_EQ(ReadNumber(), 0);
  EXPECT_EQ(Sent().size(), 5u);
  EXPECT_EQ(Sent().front(), "801100F000");
}

// A rejected card is only read, never written.
TEST_F(VelmoraCardNumber, AnyDifferingCheckValueGivesMinus6AfterReadingOnly) {
  Bytes firstByte = kCheck01020304, lastByte = kCheck01020304;
  firstByte[0] ^= 0x01;
  lastByte[15] ^= 0x01;
  for (const Bytes& check : {firstByte, lastByte, HexBytes("00")}) {
    ASSERT_NO_FATAL_FAILURE(StartConnected(CardWith({1, 2, 3, 4}, check)));
    EXPECT_EQ(ReadNumber(), -6) << HexText(check);
    EXPECT_EQ(number_, kUntouched);
    for (const std::string& command : Sent()) {
      EXPECT_TRUE(command.rfind("80110100", 0) == 0 || command.rfind("80110104", 0) == 0 ||
                  command.rfind("80110105", 0) == 0)
          << command;
    }
    TearDown();
  }
}

TEST_F(VelmoraCardNumber, NoCardGivesMinus1AndNothingIsSent) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(ReadNumber(), -1);
  EXPECT_EQ(number_, kUntouched);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(VelmoraCardNumber, EachFailingStepHasItsOwnCode) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().ForceStatus(0x01, 0x00, 0x6A82);
  EXPECT_EQ(ReadNumber(), -1);
  Reader().ClearForcedStatus();

  Reader().ForceStatus(0x01, 0x04, 0x6300);
  EXPECT_EQ(ReadNumber(), -3);
  Reader().ClearForcedStatus();

  Reader().ScriptReplies(HexBytes("80 11 01 05 01 01"), {HexBytes("6A 82")});
  EXPECT_EQ(ReadNumber(), -4);

  Reader().ScriptReplies(HexBytes("80 11 01 05 01 02"), {HexBytes("6A 82")});
  EXPECT_EQ(ReadNumber(), -5);

  Reader().ScriptReplies(HexBytes("80 11 01 05 01 02"), {HexBytes("01 02 90 00")});
  EXPECT_EQ(ReadNumber(), -5);  // too short to be a block
  EXPECT_EQ(number_, kUntouched);

  EXPECT_EQ(ReadNumber(), 0);
  EXPECT_EQ(number_, (Number{1, 2, 3, 4}));
}

}  // namespace
