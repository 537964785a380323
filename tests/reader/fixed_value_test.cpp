// The exports without reader work, called in a process that has no reader
// session at all: they must answer at once with their fixed values.
#include <gtest/gtest.h>

#include "velmora.h"

namespace {

TEST(VelmoraFixedValues, ExportsWithoutReaderWorkReturnTheirValues) {
  unsigned char buffer[16] = {};
  EXPECT_EQ(Card_Request(1, 0, buffer), 0);
  EXPECT_EQ(Card_Authentication(1, 0, 4), -1);
  EXPECT_EQ(Card_Halt(1), -1);
  EXPECT_EQ(Card_Beep(1, 10), 0);
  EXPECT_EQ(Card_Changeb3(1, 1, buffer, 0, 0, 0, 1, 0, buffer), -1);
  EXPECT_EQ(Card_ReadBlockInfo(1, 4, 0, buffer), -1);
  EXPECT_EQ(Card_WriteBlockInfo(1, 4, 0, buffer), -1);
  for (unsigned char byte : buffer) EXPECT_EQ(byte, 0);
}

TEST(VelmoraFixedValues, ExitWithoutOpenReturnsZero) {
  EXPECT_EQ(ReadCard_Exit(0), 0);
  EXPECT_EQ(ReadCard_Exit(0), 0);
}

TEST(VelmoraFixedValues, MissingBuffersAreRefusedBeforeAnyReaderWork) {
  EXPECT_EQ(Card_Init(1, nullptr, nullptr), 0x6A80);
  EXPECT_EQ(Card_Read(1, 1, nullptr), 0x6A80);
  EXPECT_EQ(Card_Write(1, 1, nullptr), 0x6A80);
  EXPECT_EQ(Card_LoadKey(1, 0, 1, nullptr), 0x6A80);
  EXPECT_EQ(Card_GetHardID(nullptr), 0x6A80);
  EXPECT_EQ(GetPIDSN(nullptr, nullptr), 0x6A80);
  EXPECT_EQ(CPUCard_Reset(nullptr, nullptr), 0x6A80);
  EXPECT_EQ(CPUCard_RunApdu(nullptr, 5, nullptr, nullptr), 0x6A80);
  EXPECT_EQ(Card_ReadCardNo(1, nullptr), -1);
}

}  // namespace
