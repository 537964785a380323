// The trace lines of the reader path, line by line and in order: what a
// technician reading a trace must be able to follow, attempt by attempt.
#include <regex>

#include "sim_fixture.h"
#include "trace_file.h"

namespace {

using simreader::Bytes;
using Lines = std::vector<std::string>;

// Line patterns: literal GBK text, then a regular-expression tail.
std::string Literal(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

const std::string kAnyCode = "[0-9A-F]{8}";
const std::string kElapsed = "  [0-9]+" + gbk::kMilliseconds;

std::string SentLine(const std::string& hex) { return Literal(gbk::kSent + hex); }
std::string ReplyLine(const std::string& hexPattern) {
  return Literal(gbk::kReply) + hexPattern + kElapsed;
}

void ExpectLinesMatch(const Lines& lines, const Lines& patterns) {
  ASSERT_EQ(lines.size(), patterns.size()) << ::testing::PrintToString(lines);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i])))
        << "line " << i << ": " << lines[i];
  }
}

class VelmoraTraceOrder : public VelmoraTracedTest {
 protected:
  void StartTraced() {
    ASSERT_NO_FATAL_FAILURE(VelmoraTracedTest::StartTraced());
    linesBefore_ = trace_.Lines().size();
  }
  // The lines written since StartTraced() or the last call.
  Lines NewLines() {
    const Lines all = trace_.Lines();
    Lines fresh(all.begin() + static_cast<std::ptrdiff_t>(linesBefore_), all.end());
    linesBefore_ = all.size();
    return fresh;
  }

  // After a call that gave up: the next call re-opens at once, without a
  // pause, and succeeds.
  void ExpectTheNextCallReopensAndSucceeds() {
    Reader().ClearLog();
    EXPECT_EQ(Lib().SetFindType(0), 0x9000);
    EXPECT_EQ(Sent(), std::vector<std::string>{"801100F000"});
    ExpectLinesMatch(NewLines(),
                     {Literal(gbk::kReopen) + kAnyCode, SentLine("801100F000"), ReplyLine("9000")});
  }

  size_t linesBefore_ = 0;
};

TEST_F(VelmoraTraceOrder, TwoFailedTransmissionsEachPauseThenTheCallGivesUpAndTheNextReopens) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  Reader().FailTransmit(true);
  EXPECT_EQ(Lib().SetFindType(0), 0x6200);
  ExpectLinesMatch(NewLines(), {SentLine("801100F000"), Literal(gbk::kTransmitFailed) + kAnyCode,
                                Literal(gbk::kRetry), Literal(gbk::kReopen) + kAnyCode,
                                SentLine("801100F000"), Literal(gbk::kTransmitFailed) + kAnyCode,
                                Literal(gbk::kRetry), Literal(gbk::kGiveUp)});

  Reader().FailTransmit(false);
  ExpectTheNextCallReopensAndSucceeds();
}

TEST_F(VelmoraTraceOrder, AnUnpluggedReaderIsGivenUpAfterOnePauseAndReopenedWhenBack) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  Reader().Unplug();
  EXPECT_EQ(Lib().SetFindType(0), 0x6200);
  // The failed connect's code is the open's result, so both lines show it.
  const Lines lines = NewLines();
  ASSERT_NO_FATAL_FAILURE(ExpectLinesMatch(
      lines, {SentLine("801100F000"), Literal(gbk::kTransmitFailed) + kAnyCode,
              Literal(gbk::kRetry), Literal(gbk::kConnectFailed) + "(8[0-9A-F]{7})",
              Literal(gbk::kReopen) + "(8[0-9A-F]{7})", Literal(gbk::kGiveUp)}));
  EXPECT_EQ(lines[3].substr(gbk::kConnectFailed.size()), lines[4].substr(gbk::kReopen.size()));

  Reader().Plug();
  ASSERT_TRUE(Reader().WaitForCard(true, kCardWait));
  ExpectTheNextCallReopensAndSucceeds();
}

TEST_F(VelmoraTraceOrder, PendingDataTracesBothRepliesAroundTheGetResponse) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  const Bytes apdu = HexBytes("00 B0 00 00 04");
  Reader().ScriptReplies(apdu, {HexBytes("61 04")});
  Reader().ScriptReplies(HexBytes("00 C0 00 00 04"), {HexBytes("0A 0B 0C 0D 90 00")});
  uint8_t answer[260] = {};
  uint8_t length = 0;
  EXPECT_EQ(Lib().CPUCard_RunApdu(apdu.data(), 5, answer, &length), 0x9000);
  ExpectLinesMatch(NewLines(), {SentLine("00B0000004"), ReplyLine("6104"), SentLine("00C0000004"),
                                ReplyLine("0A0B0C0D9000")});
}

TEST_F(VelmoraTraceOrder, AnEmptyReplyIsTracedWithNoBytes) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  Reader().ScriptReplies(HexBytes("80 11 00 F0 00"), {{}});
  EXPECT_EQ(Lib().SetFindType(0), 0x6300);
  ExpectLinesMatch(NewLines(), {SentLine("801100F000"), ReplyLine("")});
}

TEST_F(VelmoraTraceOrder, CardInitTracesItsStartBeforeTheFindTypeStep) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  ASSERT_EQ(Lib().SetFindType(1), 0x9000);
  NewLines();
  uint8_t serial[4] = {};
  uint8_t type = 0;
  EXPECT_EQ(Lib().Card_Init(0, serial, &type), 0);
  ExpectLinesMatch(NewLines(), {Literal(gbk::kCardInit), SentLine("801100F000"), ReplyLine("9000"),
                                SentLine("8011010000"), ReplyLine("[0-9A-F]*9000")});
}

// With a session open they still answer with their fixed values only.
TEST_F(VelmoraTraceOrder, FunctionsWithoutReaderWorkSendAndTraceNothing) {
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  uint8_t buffer[16] = {};
  EXPECT_EQ(Lib().Card_Request(0, 0, buffer), 0);
  EXPECT_EQ(Lib().Card_Authentication(0, 0, 4), -1);
  EXPECT_EQ(Lib().Card_Halt(0), -1);
  EXPECT_EQ(Lib().Card_Beep(0, 10), 0);
  EXPECT_EQ(Lib().Card_Changeb3(0, 1, buffer, 0, 0, 0, 1, 0, buffer), -1);
  EXPECT_EQ(Lib().Card_ReadBlockInfo(0, 4, 0, buffer), -1);
  EXPECT_EQ(Lib().Card_WriteBlockInfo(0, 4, 0, buffer), -1);
  EXPECT_TRUE(Sent().empty());
  EXPECT_TRUE(NewLines().empty());
}

}  // namespace
