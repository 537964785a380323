// The guarded exchange, seen through the APDU pass-through (which hands the
// caller the exchange's answer record and count) and the trace lines.
#include <array>

#include "sim_fixture.h"
#include "trace_file.h"

namespace {

using simreader::Bytes;
using Strings = std::vector<std::string>;

struct ApduResult {
  uint16_t status = 0;
  std::array<uint8_t, 260> answer{};
  uint8_t length = 0;
};

ApduResult RunApdu(VelmoraCopy& library, const Bytes& apdu, int32_t length,
                   uint8_t presetLength = 0) {
  ApduResult result;
  result.answer.fill(0xEE);
  result.length = presetLength;
  result.status =
      library.CPUCard_RunApdu(apdu.data(), length, result.answer.data(), &result.length);
  return result;
}

ApduResult RunApdu(VelmoraCopy& library, const Bytes& apdu) {
  return RunApdu(library, apdu, static_cast<int32_t>(apdu.size()));
}

Bytes Sixteen() {
  Bytes data;
  for (uint8_t i = 0; i < 16; ++i) data.push_back(static_cast<uint8_t>(0x30 + i));
  return data;
}

Bytes Concat(Bytes front, const Bytes& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

class VelmoraExchange : public VelmoraSimTest {};

// In either protocol: a card speaking only T=0 gets both transmissions in
// T=0. The session is opened by the exchange itself.
TEST_F(VelmoraExchange, PendingDataIsFetchedWithExactlyOneGetResponse) {
  for (const bool onlyT0 : {false, true}) {
    SCOPED_TRACE(onlyT0 ? "T=0 only" : "either protocol");
    ASSERT_NO_FATAL_FAILURE(Start());
    Reader().OfferOnlyT0(onlyT0);
    ASSERT_NO_FATAL_FAILURE(InsertCard());
    const Bytes apdu = HexBytes("00 B0 00 00 10");
    Reader().ScriptReplies(apdu, {HexBytes("61 10")});
    Reader().ScriptReplies(HexBytes("00 C0 00 00 10"), {Concat(Sixteen(), HexBytes("90 00"))});
    const ApduResult result = RunApdu(Lib(), apdu);
    EXPECT_EQ(result.status, 0x9000);
    EXPECT_EQ(result.length, 16);
    EXPECT_EQ(Bytes(result.answer.begin(), result.answer.begin() + 16), Sixteen());
    EXPECT_EQ(Sent(), (Strings{"00B0000010", "00C0000010"}));
    TearDown();
  }
}

TEST_F(VelmoraExchange, ASecondPendingStatusIsReturnedUnfollowed) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = HexBytes("00 B0 00 00 10");
  Reader().ScriptReplies(apdu, {HexBytes("61 10")});
  Reader().ScriptReplies(HexBytes("00 C0 00 00 10"), {HexBytes("61 08")});
  const ApduResult result = RunApdu(Lib(), apdu);
  EXPECT_EQ(result.status, 0x6108);
  EXPECT_EQ(result.length, 2);
  EXPECT_EQ(Sent(), (Strings{"00B0000010", "00C0000010"}));
}

TEST_F(VelmoraExchange, AStatusOnlyAnswerIsLeftWhereTheRecordHasIt) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = HexBytes("00 A4 04 00 00");
  Reader().ScriptReplies(apdu, {HexBytes("90 00")});
  const ApduResult result = RunApdu(Lib(), apdu);
  EXPECT_EQ(result.status, 0x9000);
  EXPECT_EQ(result.length, 2);
  // Data length 0, the spare byte untouched, SW2 then SW1, then the reply.
  EXPECT_EQ(Bytes(result.answer.begin(), result.answer.begin() + 6), HexBytes("00 EE 00 90 90 00"));
}

// An empty reply gives 6300 and leaves the count as the caller set it; the
// record is then moved by that count. Lengths are held in one byte: 253 data
// bytes are the most a reply can carry; a reply that fills all 256 bytes
// counts 0 and reads as empty, as does a one-byte reply.
TEST_F(VelmoraExchange, EmptyRepliesGive6300AndTheLongestReplyFits) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes longest = HexBytes("00 B0 00 00 FD");
  const Bytes data(253, 0x42);
  Reader().ScriptReplies(longest, {Concat(data, HexBytes("90 00"))});
  const ApduResult fits = RunApdu(Lib(), longest);
  EXPECT_EQ(fits.status, 0x9000);
  EXPECT_EQ(fits.length, 253);
  EXPECT_EQ(Bytes(fits.answer.begin(), fits.answer.begin() + 253), data);

  const Bytes select = HexBytes("00 A4 04 00 00");
  const struct {
    const char* name;
    Bytes apdu, reply;
    uint8_t presetLength, length;
    Bytes answer;  // the start of the record
  } cases[] = {
      {"empty, count unset", select, {}, 0, 0, HexBytes("00 EE 00 63")},
      {"empty, count preset", select, {}, 2, 2, {}},
      {"one byte", select, HexBytes("90"), 0, 0, HexBytes("00 EE 00 63")},
      {"full buffer", HexBytes("00 B0 00 00 FE"), Concat(Bytes(254, 0x42), HexBytes("90 00")), 0, 0,
       HexBytes("00 EE 00 63")},
      {"empty, moved by the count", select, {}, 5, 3, HexBytes("EE EE EE 63 EE EE EE EE")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reader().ScriptReplies(c.apdu, {c.reply});
    const ApduResult result = RunApdu(Lib(), c.apdu, 5, c.presetLength);
    EXPECT_EQ(result.status, 0x6300);
    EXPECT_EQ(result.length, c.length);
    EXPECT_EQ(Bytes(result.answer.begin(), result.answer.begin() + c.answer.size()), c.answer);
  }
}

TEST_F(VelmoraExchange, OnlyTheLowByteOfTheCommandLengthCounts) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Bytes apdu(261, 0x55);
  const Bytes header = HexBytes("00 A4 04 00 00");
  std::copy(header.begin(), header.end(), apdu.begin());
  RunApdu(Lib(), apdu, 261);
  EXPECT_EQ(Sent(), Strings{"00A4040000"});
}

using VelmoraExchangeTrace = VelmoraTracedTest;

TEST_F(VelmoraExchangeTrace, AClosedSessionIsReopenedWithoutAPause) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  char names[256] = {};
  ASSERT_EQ(Lib().EnumerateReaders(names), 1);
  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
  EXPECT_EQ(trace_.Count(gbk::kReopen), 1u);
  EXPECT_EQ(trace_.Count(gbk::kRetry), 0u);
  EXPECT_EQ(Sent(), Strings{"801100F000"});
}

TEST_F(VelmoraExchangeTrace, WithoutACardBothOpensFailAndNothingIsSent) {
  ASSERT_NO_FATAL_FAILURE(Start({"Quorvell K370A Reader"}, trace_.Path()));
  EXPECT_EQ(Lib().SetFindType(0), 0x6200);
  EXPECT_EQ(trace_.Count(gbk::kReopen + "8010000C"), 2u);
  EXPECT_EQ(trace_.Count(gbk::kConnectFailed + "8010000C"), 2u);
  EXPECT_EQ(trace_.Count(gbk::kRetry), 0u);
  EXPECT_TRUE(Sent().empty());
}

// A GET RESPONSE for 256 bytes cannot fit beside the status bytes in the
// receive buffer: its transmission fails and the session stays open.
TEST_F(VelmoraExchangeTrace, AFailedGetResponseGives6201AndKeepsTheSession) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  const Bytes apdu = HexBytes("00 B0 00 00 00");
  Reader().ScriptReplies(apdu, {HexBytes("61 00")});
  Reader().ScriptReplies(HexBytes("00 C0 00 00 00"), {Concat(Bytes(256, 0x42), HexBytes("90 00"))});
  const ApduResult result = RunApdu(Lib(), apdu, 5, 0);
  EXPECT_EQ(result.status, 0x6201);
  EXPECT_EQ(result.length, 0);
  EXPECT_EQ(trace_.Count("get_response"), 1u);

  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
  EXPECT_EQ(trace_.Count(gbk::kReopen), 0u);
}

}  // namespace
