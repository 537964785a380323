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

TEST_F(VelmoraExchange, PendingDataIsFetchedWithExactlyOneGetResponse) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = HexBytes("00 B0 00 00 10");
  Reader().ScriptReplies(apdu, {HexBytes("61 10")});
  Reader().ScriptReplies(HexBytes("00 C0 00 00 10"), {Concat(Sixteen(), HexBytes("90 00"))});
  const ApduResult result = RunApdu(Lib(), apdu);
  EXPECT_EQ(result.status, 0x9000);
  EXPECT_EQ(result.length, 16);
  EXPECT_EQ(Bytes(result.answer.begin(), result.answer.begin() + 16), Sixteen());
  EXPECT_EQ(Sent(), (Strings{"00B0000010", "00C0000010"}));
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

TEST_F(VelmoraExchange, AnEmptyReplyGives6300AndLeavesTheCountAlone) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = HexBytes("00 A4 04 00 00");
  Reader().ScriptReplies(apdu, {{}, {}});
  const ApduResult unset = RunApdu(Lib(), apdu, 5, 0);
  EXPECT_EQ(unset.status, 0x6300);
  EXPECT_EQ(unset.length, 0);
  EXPECT_EQ(Bytes(unset.answer.begin(), unset.answer.begin() + 4), HexBytes("00 EE 00 63"));
  const ApduResult preset = RunApdu(Lib(), apdu, 5, 2);
  EXPECT_EQ(preset.status, 0x6300);
  EXPECT_EQ(preset.length, 2);
}

TEST_F(VelmoraExchange, AOneByteReplyCountsAsEmpty) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = HexBytes("00 A4 04 00 00");
  Reader().ScriptReplies(apdu, {HexBytes("90")});
  const ApduResult result = RunApdu(Lib(), apdu, 5, 0);
  EXPECT_EQ(result.status, 0x6300);
  EXPECT_EQ(result.length, 0);
  EXPECT_EQ(Bytes(result.answer.begin(), result.answer.begin() + 4), HexBytes("00 EE 00 63"));
}

// Lengths are held in one byte: 253 data bytes are the most a reply can
// carry; a reply that fills all 256 bytes counts 0 and reads as empty.
TEST_F(VelmoraExchange, TheLongestReplyFitsAndAFullBufferReadsAsEmpty) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes longest = HexBytes("00 B0 00 00 FD");
  const Bytes data(253, 0x42);
  Reader().ScriptReplies(longest, {Concat(data, HexBytes("90 00"))});
  const ApduResult fits = RunApdu(Lib(), longest);
  EXPECT_EQ(fits.status, 0x9000);
  EXPECT_EQ(fits.length, 253);
  EXPECT_EQ(Bytes(fits.answer.begin(), fits.answer.begin() + 253), data);

  const Bytes full = HexBytes("00 B0 00 00 FE");
  Reader().ScriptReplies(full, {Concat(Bytes(254, 0x42), HexBytes("90 00"))});
  const ApduResult wrapped = RunApdu(Lib(), full, 5, 0);
  EXPECT_EQ(wrapped.status, 0x6300);
  EXPECT_EQ(wrapped.length, 0);
  EXPECT_EQ(Bytes(wrapped.answer.begin(), wrapped.answer.begin() + 4), HexBytes("00 EE 00 63"));
}

// After an empty reply the count is the caller's own, and the move acts on it.
TEST_F(VelmoraExchange, AnEmptyReplyMovesByTheCallersCount) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = HexBytes("00 A4 04 00 00");
  Reader().ScriptReplies(apdu, {{}});
  const ApduResult result = RunApdu(Lib(), apdu, 5, 5);
  EXPECT_EQ(result.status, 0x6300);
  EXPECT_EQ(result.length, 3);
  EXPECT_EQ(Bytes(result.answer.begin(), result.answer.begin() + 8),
            HexBytes("EE EE EE 63 EE EE EE EE"));
}

TEST_F(VelmoraExchange, OnlyTheLowByteOfTheCommandLengthCounts) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Bytes apdu(261, 0x55);
  const Bytes header = HexBytes("00 A4 04 00 00");
  std::copy(header.begin(), header.end(), apdu.begin());
  RunApdu(Lib(), apdu, 261);
  EXPECT_EQ(Sent(), Strings{"00A4040000"});
}

TEST_F(VelmoraExchange, ACardSpeakingOnlyT0GetsBothTransmissionsInT0) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Reader().OfferOnlyT0(true);
  ASSERT_NO_FATAL_FAILURE(InsertCard());
  const Bytes apdu = HexBytes("00 B0 00 00 10");
  Reader().ScriptReplies(apdu, {HexBytes("61 10")});
  Reader().ScriptReplies(HexBytes("00 C0 00 00 10"), {Concat(Sixteen(), HexBytes("90 00"))});
  const ApduResult result = RunApdu(Lib(), apdu);
  EXPECT_EQ(result.status, 0x9000);
  EXPECT_EQ(result.length, 16);
  EXPECT_EQ(Sent(), (Strings{"00B0000010", "00C0000010"}));
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
