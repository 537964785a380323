// Trace lines reach the file named by VELMORA_TRACE, in GBK.
#include <regex>

#include "sim_fixture.h"
#include "trace_file.h"

namespace {

class VelmoraTrace : public VelmoraSimTest {
 protected:
  TraceFile trace_;
};

TEST_F(VelmoraTrace, EachCommandAndReplyIsTracedWithTheElapsedTime) {
  ASSERT_NO_FATAL_FAILURE(Start({"Quorvell K370A Reader"}, trace_.Path()));
  ASSERT_NO_FATAL_FAILURE(InsertCard());
  ASSERT_GE(Lib().ReadCard_Init(0, 0), 1);
  uint8_t serial[4] = {};
  uint8_t type = 0;
  ASSERT_EQ(Lib().Card_Init(0, serial, &type), 0);

  const std::vector<std::string> lines = trace_.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], gbk::kCardInit);
  EXPECT_EQ(lines[1], gbk::kSent + "8011010000");
  const std::regex reply(gbk::kReply + "[0-9A-F]*9000  [0-9]+" + gbk::kMilliseconds);
  EXPECT_TRUE(std::regex_match(lines[2], reply)) << lines[2];
}

TEST_F(VelmoraTrace, AFailedConnectIsTracedWithItsCode) {
  ASSERT_NO_FATAL_FAILURE(Start({"Quorvell K370A Reader"}, trace_.Path()));
  EXPECT_LT(Lib().ReadCard_Init(0, 0), 0);
  EXPECT_EQ(trace_.Lines(), std::vector<std::string>{gbk::kConnectFailed + "8010000C"});
}

}  // namespace
