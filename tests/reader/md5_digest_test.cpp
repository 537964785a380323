#include "velmora/md5_digest.h"

#include <gtest/gtest.h>

#include <string>

#include "card_number.h"
#include "trace.h"

namespace velmora {
namespace {

std::string Md5Hex(const std::string& text) {
  uint8_t digest[platform::kMd5Size] = {};
  EXPECT_TRUE(platform::Md5(reinterpret_cast<const uint8_t*>(text.data()), text.size(), digest));
  return BytesToHex(digest, platform::kMd5Size);
}

TEST(VelmoraMd5Digest, MatchesTheRfc1321TestSuite) {
  EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5Hex("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890"
                   "1234567890123456789012345678901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(VelmoraCheckMessage, NumberThenComplementThenTheFixedWord) {
  const uint8_t zero[4] = {0, 0, 0, 0};
  const auto zeroMessage = CheckMessage(zero);
  EXPECT_EQ(BytesToHex(zeroMessage.data(), 16), "00000000FFFFFFFF5461726E7769636B");
  const uint8_t number[4] = {0x01, 0x02, 0x03, 0x04};
  const auto message = CheckMessage(number);
  EXPECT_EQ(BytesToHex(message.data(), 16), "01020304FEFDFCFB5461726E7769636B");
}

}  // namespace
}  // namespace velmora
