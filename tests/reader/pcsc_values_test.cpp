#include "pcsc_values.h"

#include <gtest/gtest.h>

#include <limits>

namespace velmora {
namespace {

TEST(VelmoraPcscValues, ConnectErrorsComeBackAsNegative32BitCodes) {
  EXPECT_EQ(ConnectFailureResult(0x8010000C), static_cast<int32_t>(0x8010000CU));
  EXPECT_EQ(ConnectFailureResult(0x8010000B), static_cast<int32_t>(0x8010000BU));
  EXPECT_EQ(PcscCodeBits(0x80100069), 0x80100069U);
}

TEST(VelmoraPcscValues, ACodeThatIsNotNegativeStillReadsAsFailure) {
  EXPECT_EQ(ConnectFailureResult(0x00000005), -1);
  EXPECT_EQ(ConnectFailureResult(0x7FFFFFFF), -1);
}

TEST(VelmoraPcscValues, DeviceValueIsTheAbsoluteLow32Bits) {
  EXPECT_EQ(DeviceValueFromHandle(0x1234), 0x1234);
  EXPECT_EQ(DeviceValueFromHandle(-0x1234), 0x1234);
  EXPECT_EQ(DeviceValueFromHandle(static_cast<SCARDHANDLE>(0xFFFFFFFEL)), 2);
  EXPECT_EQ(DeviceValueFromHandle(static_cast<SCARDHANDLE>(0x500000007L)), 7);
  EXPECT_EQ(DeviceValueFromHandle(0x7FFFFFFF), 0x7FFFFFFF);
}

TEST(VelmoraPcscValues, HandlesWithoutAPositiveAbsoluteValueStillGiveAtLeastOne) {
  EXPECT_EQ(DeviceValueFromHandle(0), 1);
  EXPECT_EQ(DeviceValueFromHandle(static_cast<SCARDHANDLE>(0x100000000L)), 1);
  EXPECT_EQ(DeviceValueFromHandle(static_cast<SCARDHANDLE>(0x80000000L)),
            std::numeric_limits<int32_t>::max());
  EXPECT_EQ(DeviceValueFromHandle(std::numeric_limits<int32_t>::min()),
            std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace velmora
