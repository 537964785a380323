// velmora-tool's output and exit status for each command: a good card, no
// card, no reader, a wrong check value, and lines that are no valid use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_reader.h"
#include "tests/support/private_host.h"

namespace {

using namespace std::chrono_literals;
using testsupport::BinFolder;
using testsupport::Outcome;

Outcome RunTool(const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& environment = {}) {
  return testsupport::RunToEnd(BinFolder() + "/velmora-tool", arguments, environment, 30s);
}

struct UsageCase {
  std::vector<std::string> arguments;
  int status;
  std::string errorStart;  // of stderr; stdout is empty
};

TEST(VelmoraToolUsage, LinesThatAreNoValidUseExitTwoWithAShortReason) {
  const std::string longWord(100000, 'x');
  const std::string longApdu(2 * 256, '0');
  const std::vector<UsageCase> cases = {
      {{}, 2, "velmora-tool: no command given\n"},
      {{"bogus"}, 2, "velmora-tool: unknown command 'bogus'\n"},
      {{longWord}, 2, "velmora-tool: unknown command 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...'\n"},
      {{"card", "--frobnicate"}, 2, "velmora-tool: unknown option '--frobnicate'\n"},
      {{"card", "extra"}, 2, "velmora-tool: unexpected argument 'extra'\n"},
      {{"card", "--key", "FFFFFFFFFFFF"}, 2, "velmora-tool: --key belongs to read\n"},
      {{"read"}, 2, "velmora-tool: read needs one BLOCK number\n"},
      {{"read", "1", "2"}, 2, "velmora-tool: read needs one BLOCK number\n"},
      {{"read", "256"}, 2, "velmora-tool: BLOCK must be a number from 0 to 255, not '256'\n"},
      {{"read", "-1"}, 2, "velmora-tool: unknown option '-1'\n"},
      {{"read", "1x"}, 2, "velmora-tool: BLOCK must be a number from 0 to 255, not '1x'\n"},
      {{"read", "1", "--key"}, 2, "velmora-tool: --key needs 12 hexadecimal digits\n"},
      {{"read", "1", "--key=FFFF"},
       2,
       "velmora-tool: the key must be 12 hexadecimal digits, not 'FFFF'\n"},
      {{"read", "1", "--key", "FFFFFFFFFFFG"},
       2,
       "velmora-tool: the key must be 12 hexadecimal digits"},
      {{"apdu"}, 2, "velmora-tool: apdu needs the APDU in hexadecimal\n"},
      {{"apdu", "00A4 0"},
       2,
       "velmora-tool: the APDU must be pairs of hexadecimal digits, not '00A4 0'\n"},
      {{"\x1b[2J"}, 2, "velmora-tool: unknown command '?[2J'\n"},
      {{"apdu", "001122"}, 2, "velmora-tool: an APDU has 4 to 255 bytes, not 3\n"},
      {{"apdu", longApdu}, 2, "velmora-tool: an APDU has 4 to 255 bytes, not 256\n"},
  };
  for (const UsageCase& c : cases) {
    const Outcome outcome = RunTool(c.arguments);
    const std::string line = c.arguments.empty() ? "" : c.arguments.front().substr(0, 40);
    EXPECT_EQ(outcome.status, c.status) << line;
    EXPECT_EQ(outcome.out, "") << line;
    EXPECT_EQ(outcome.err.substr(0, c.errorStart.size()), c.errorStart) << line;
    EXPECT_LT(outcome.err.size(), 200u) << line;
    EXPECT_EQ(outcome.err.find('\x1b'), std::string::npos) << line;
  }
}

TEST(VelmoraToolUsage, HelpOnEveryCommandExitsZero) {
  for (const char* command : {"readers", "card", "cardno", "read", "apdu"}) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {command, "--help"}, {"--help", command}, {command, "-h", "--json"}}) {
      const Outcome outcome = RunTool(arguments);
      EXPECT_EQ(outcome.status, 0) << command;
      EXPECT_EQ(outcome.out.rfind(std::string("Usage: velmora-tool ") + command, 0), 0u)
          << outcome.out;
      EXPECT_EQ(outcome.err, "");
    }
  }
  const Outcome general = RunTool({"--help"});
  EXPECT_EQ(general.status, 0);
  EXPECT_NE(general.out.find("Exit status: 0 success, 1 reader or card failure, 2 bad usage.\n"),
            std::string::npos);
}

enum class CardState { kDemo, kNone, kWrongCheckValue, kNoReader };

struct ReaderCase {
  CardState state;
  std::vector<std::string> arguments;
  int status;
  std::string out;
  std::string err;  // the start of stderr
};

const std::string kGoodSerial = "serial: D4C3B2A1\nserial bytes: A1 B2 C3 D4\ncard type: 8\n";

class VelmoraToolReader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pcscd_ = new simreader::SimPcscd(); }
  static void TearDownTestSuite() {
    delete pcscd_;
    pcscd_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(pcscd_->Running()) << pcscd_->Error(); }

  static simreader::SimReader& Reader() { return pcscd_->Reader(); }

  static void Prepare(CardState state) {
    Reader().RemoveCard();
    ASSERT_TRUE(Reader().WaitForCard(false, 10s));
    if (state == CardState::kNone || state == CardState::kNoReader) return;
    simreader::MemoryCard card = simreader::DemoCard();
    if (state == CardState::kWrongCheckValue) card.blocks[2][0] ^= 0x80;
    Reader().InsertCard(card);
    ASSERT_TRUE(Reader().WaitForCard(true, 10s));
  }

  static std::map<std::string, std::string> Environment(CardState state) {
    if (state != CardState::kNoReader) return {};
    return {{"PCSCLITE_CSOCK_NAME", "/nonexistent/pcscd.comm"}};
  }

  static simreader::SimPcscd* pcscd_;
};

simreader::SimPcscd* VelmoraToolReader::pcscd_ = nullptr;

TEST_F(VelmoraToolReader, EachCommandShowsItsResultOrWhyItFailed) {
  Reader().ScriptReplies({0x00, 0xB0, 0x00, 0x00, 0x02}, {{0xAB, 0xCD, 0x90, 0x00}});
  Reader().ScriptReplies({0x00, 0xA4, 0x00, 0x00, 0x00}, {{0x90, 0x00}});
  const std::vector<ReaderCase> cases = {
      {CardState::kDemo,
       {"readers"},
       0,
       "Quorvell K370A Reader 00 00  [served model]\n"
       "the library opens: Quorvell K370A Reader 00 00\n",
       ""},
      {CardState::kDemo,
       {"--json", "readers"},
       0,
       R"({"command":"readers","ok":true,"readers":[{"name":"Quorvell K370A Reader 00 00","served":true}],"opens":"Quorvell K370A Reader 00 00"})"
       "\n",
       ""},
      {CardState::kDemo, {"card"}, 0, kGoodSerial, ""},
      {CardState::kDemo,
       {"card", "--json"},
       0,
       R"({"command":"card","ok":true,"serial":"D4C3B2A1","serialBytes":"A1B2C3D4","cardType":8})"
       "\n",
       ""},
      {CardState::kDemo, {"cardno"}, 0, "card number: 04030201\ncheck value: matches\n", ""},
      {CardState::kDemo,
       {"read", "1", "--key", "a0a1a2a3a4a5"},
       0,
       "block 1: 00 00 01 02 03 04 00 00 00 00 00 00 00 00 00 00\n",
       ""},
      {CardState::kDemo,
       {"read", "64", "--json"},
       1,
       R"({"command":"read","ok":false,"call":"Card_Read","code":"6A83","error":"no such block or record"})"
       "\n",
       ""},
      {CardState::kDemo,
       {"apdu", "80 11 00 FD 00"},
       0,
       "answer: 51 56 4B 33 37 30 00 01\nstatus: 9000 (success)\n",
       ""},
      {CardState::kDemo, {"apdu", "00B0000002"}, 0, "answer: AB CD\nstatus: 9000 (success)\n", ""},
      {CardState::kDemo,
       {"apdu", "00A40000", "00"},
       0,
       "answer: (no data)\nstatus: 9000 (success)\n",
       ""},
      {CardState::kDemo,
       {"apdu", "00A4040000"},
       1,
       "answer: (no data)\nstatus: 6D00 (instruction not supported)\n",
       "velmora-tool apdu: CPUCard_RunApdu returned 6D00: instruction not supported\n"},
      {CardState::kDemo,
       {"card", "--trace"},
       0,
       kGoodSerial,
       "开始读序列号\n发送数据:8011010000\n返回数据:040008A1B2C3D49000  "},
      {CardState::kNone,
       {"readers"},
       0,
       "Quorvell K370A Reader 00 00  [served model]\n"
       "the library opens: Quorvell K370A Reader 00 00\n",
       ""},
      {CardState::kNone,
       {"card"},
       1,
       "",
       "velmora-tool card: ReadCard_Init returned 8010000C: no card on the reader\n"},
      {CardState::kNone,
       {"cardno", "--json"},
       1,
       R"({"command":"cardno","ok":false,"call":"ReadCard_Init","code":"8010000C","error":"no card on the reader"})"
       "\n",
       ""},
      {CardState::kWrongCheckValue,
       {"cardno"},
       1,
       "",
       "velmora-tool cardno: Card_ReadCardNo returned -6: check value mismatch: block 2 is not the "
       "MD5 check value of the card number\n"},
      {CardState::kWrongCheckValue, {"card"}, 0, kGoodSerial, ""},
      {CardState::kNoReader,
       {"readers"},
       1,
       "",
       "velmora-tool readers: EnumerateReaders returned 0: no reader attached, or pcscd is not "
       "reachable\n"},
      {CardState::kNoReader,
       {"read", "1", "--json"},
       1,
       R"({"command":"read","ok":false,"call":"ReadCard_Init","code":"-1","error":"no reader attached, or pcscd is not reachable"})"
       "\n",
       ""},
  };
  for (const ReaderCase& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Prepare(c.state));
    const Outcome outcome = RunTool(c.arguments, Environment(c.state));
    const std::string line = c.arguments.front() + " " + std::to_string(static_cast<int>(c.state));
    EXPECT_EQ(outcome.status, c.status) << line;
    EXPECT_EQ(outcome.out, c.out) << line;
    EXPECT_EQ(outcome.err.substr(0, c.err.size()), c.err) << line << "\n" << outcome.err;
    if (c.err.empty()) {
      EXPECT_EQ(outcome.err, "") << line;
    }
  }
}

}  // namespace
