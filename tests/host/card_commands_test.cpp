#include "service/card_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "service/ansi_text.h"

namespace {

using duvane::Ansi;
using duvane::GetCardNoCommand;
using duvane::GetCardSnCommand;
using Lines = std::vector<std::string>;

constexpr const char* kCardNoSuccess =
    R"({"ResultCode":"0000","ResultMsg":"成功","CardNo":"04030201"})";
constexpr const char* kCardNoCannotOpen =
    R"({"ResultCode":"0200","ResultMsg":"无法打开读卡器","CardNo":"0X00000000"})";
constexpr const char* kCardNoReadFailed =
    R"({"ResultCode":"0201","ResultMsg":"读卡失败","CardNo":"0X00000000"})";
constexpr const char* kCardSnSuccess =
    R"({"ResultCode":"0000","ResultMsg":"成功","CardSN":"FFFFFFFF","CardType":"8"})";
constexpr const char* kCardSnCannotOpen =
    R"({"ResultCode":"0200","ResultMsg":"无法打开读卡器","CardSN":"0X00000000"})";
constexpr const char* kCardSnReadFailed =
    R"({"ResultCode":"0201","ResultMsg":"读序列号失败","CardSN":"0X00000000"})";

// A stand-in bound as the service does at start; the start's log line is
// kept apart so that Logged() shows only what the commands write.
class Session {
 public:
  explicit Session(const std::string& fileName) : library_(fileName) {
    library_.Bind(startLog_.Log());
  }
  ~Session() {
    library_.Unbind();
    for (const char* name : {"HOST_STUB_CARD_RESULT", "HOST_STUB_CARD_NO", "HOST_STUB_SERIAL",
                             "HOST_STUB_CARD_TYPE"}) {
      ::unsetenv(name);
    }
  }

  std::string CardNo() { return GetCardNoCommand(library_, log_.Log()).ToUtf8Json(); }
  std::string CardSn() { return GetCardSnCommand(library_, log_.Log()).ToUtf8Json(); }
  Lines Logged() const { return log_.Messages(); }
  // Every call the stand-in took, those of the start included.
  Lines Calls() const { return calls_.Calls(); }

 private:
  hosttest::StubCalls calls_;
  hosttest::LogFolder startLog_;
  hosttest::LogFolder log_;
  duvane::ReaderLibrary library_;
};

// Which commands run in which order: 'N' the card number, 'S' the serial.
struct Case {
  const char* name;
  std::string library;
  std::string commands;
  std::vector<std::string> replies;
  Lines logged, calls;
};

// A reader opened at start serves both commands; an incomplete library is
// opened by the first command only; a failed open is retried by every
// command; a negative open result is the handle; a missing function fails
// only its own command; without the library or ReadCard_Init nothing opens.
TEST(HostCardCommands, OpenAndReadFollowWhatTheLibraryOffers) {
  const std::string opened = Ansi("打开370读卡器成功！");
  const std::string failed = Ansi("打开370读卡器失败！");
  const Case cases[] = {
      {"opened at start",
       hosttest::StubLibrary("no_halt"),
       "NS",
       {kCardNoSuccess, kCardSnSuccess},
       {},
       {"ReadCard_Init 0 0", "Card_ReadCardNo 7", "Card_Init 7"}},
      {"opened once by the first command",
       hosttest::StubLibrary("no_pidsn"),
       "SSN",
       {kCardSnSuccess, kCardSnSuccess, kCardNoSuccess},
       {opened},
       {"ReadCard_Init 0 0", "Card_Init 7", "Card_Init 7", "Card_ReadCardNo 7"}},
      {"failed open retried",
       hosttest::StubLibrary("init_zero"),
       "NS",
       {kCardNoCannotOpen, kCardSnCannotOpen},
       {failed, failed},
       {"ReadCard_Init 0 0", "ReadCard_Init 0 0", "ReadCard_Init 0 0"}},
      {"negative handle",
       hosttest::StubLibrary("init_negative"),
       "N",
       {kCardNoSuccess},
       {},
       {"ReadCard_Init 0 0", "Card_ReadCardNo -2146435060"}},
      {"no library",
       "libVelmora_not_there.so",
       "NS",
       {kCardNoCannotOpen, kCardSnCannotOpen},
       {},
       {}},
      {"no ReadCard_Init",
       hosttest::StubLibrary("no_init"),
       "NS",
       {kCardNoCannotOpen, kCardSnCannotOpen},
       {},
       {}},
      {"no Card_ReadCardNo",
       hosttest::StubLibrary("no_readcardno"),
       "NS",
       {kCardNoReadFailed, kCardSnSuccess},
       {opened},
       {"ReadCard_Init 0 0", "Card_Init 7"}},
      {"no Card_Init",
       hosttest::StubLibrary("no_card_init"),
       "SN",
       {kCardSnReadFailed, kCardNoSuccess},
       {opened},
       {"ReadCard_Init 0 0", "Card_ReadCardNo 7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session session(c.library);
    for (size_t i = 0; i < c.commands.size(); ++i) {
      EXPECT_EQ(c.commands[i] == 'N' ? session.CardNo() : session.CardSn(), c.replies[i]) << i;
    }
    EXPECT_EQ(session.Logged(), c.logged);
    EXPECT_EQ(session.Calls(), c.calls);
  }
}

TEST(HostCardCommands, FailedReadKeepsTheReaderOpen) {
  Session session(hosttest::StubLibrary("no_halt"));
  ::setenv("HOST_STUB_CARD_RESULT", "-6", 1);
  EXPECT_EQ(session.CardNo(), kCardNoReadFailed);
  ::setenv("HOST_STUB_CARD_RESULT", "25088", 1);  // 0x6200, no reader connection
  EXPECT_EQ(session.CardSn(), kCardSnReadFailed);
  ::unsetenv("HOST_STUB_CARD_RESULT");
  EXPECT_EQ(session.CardNo(), kCardNoSuccess);
  EXPECT_EQ(session.Logged(), Lines{});
  EXPECT_EQ(session.Calls(),
            (Lines{"ReadCard_Init 0 0", "Card_ReadCardNo 7", "Card_Init 7", "Card_ReadCardNo 7"}));
}

TEST(HostCardCommands, ValuesAreLittleEndianUpperHexAndTypeIsPlainDecimal) {
  Session session(hosttest::StubLibrary("no_halt"));
  ::setenv("HOST_STUB_CARD_NO", "12345678", 1);
  EXPECT_EQ(session.CardNo(), R"({"ResultCode":"0000","ResultMsg":"成功","CardNo":"78563412"})");
  ::setenv("HOST_STUB_CARD_NO", "00000000", 1);
  EXPECT_EQ(session.CardNo(), R"({"ResultCode":"0000","ResultMsg":"成功","CardNo":"00000000"})");
  ::setenv("HOST_STUB_SERIAL", "abcdef09", 1);
  ::setenv("HOST_STUB_CARD_TYPE", "255", 1);
  EXPECT_EQ(session.CardSn(),
            R"({"ResultCode":"0000","ResultMsg":"成功","CardSN":"09EFCDAB","CardType":"255"})");
  ::setenv("HOST_STUB_CARD_TYPE", "0", 1);
  EXPECT_EQ(session.CardSn(),
            R"({"ResultCode":"0000","ResultMsg":"成功","CardSN":"09EFCDAB","CardType":"0"})");
}

}  // namespace
