#include <gtest/gtest.h>

#include "trace.h"

namespace velmora {
namespace {

TEST(VelmoraBytesToHex, TwoUpperCaseDigitsPerByteHighNibbleFirst) {
  const uint8_t bytes[] = {0x00, 0xAB, 0x5F};
  EXPECT_EQ(BytesToHex(bytes, 3), "00AB5F");
  const uint8_t all[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFF};
  EXPECT_EQ(BytesToHex(all, 9), "0123456789ABCDEFFF");
}

TEST(VelmoraBytesToHex, NoBytesGiveTheEmptyText) {
  const uint8_t bytes[] = {0x12};
  EXPECT_EQ(BytesToHex(bytes, 0), "");
  EXPECT_EQ(BytesToHex(bytes, -5), "");
  EXPECT_EQ(BytesToHex(nullptr, 4), "");
}

TEST(VelmoraBytesToHex, CodesShowEightUpperCaseDigits) {
  EXPECT_EQ(Hex8(0x8010000C), "8010000C");
  EXPECT_EQ(Hex8(0x1F), "0000001F");
  EXPECT_EQ(Hex8(static_cast<uint32_t>(-1)), "FFFFFFFF");
}

}  // namespace
}  // namespace velmora
