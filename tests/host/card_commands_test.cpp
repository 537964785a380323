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

class HostCardCommands : public ::testing::Test {
 protected:
  void TearDown() override {
    library_->Unbind();
    for (const char* name : {"HOST_STUB_CARD_RESULT", "HOST_STUB_CARD_NO", "HOST_STUB_SERIAL",
                             "HOST_STUB_CARD_TYPE"}) {
      ::unsetenv(name);
    }
  }

  // Binds a stand-in as the service does at start; the start's log line and
  // calls are forgotten so each test sees only what the commands do.
  void Start(const std::string& fileName) {
    library_ = std::make_unique<duvane::ReaderLibrary>(fileName);
    library_->Bind(startLog_.Log());
    startCalls_ = calls_.Calls();
  }

  std::string CardNo() { return GetCardNoCommand(*library_, log_.Log()).ToUtf8Json(); }
  std::string CardSn() { return GetCardSnCommand(*library_, log_.Log()).ToUtf8Json(); }

  Lines Logged() const { return log_.Messages(); }
  Lines CallsSinceStart() const {
    Lines all = calls_.Calls();
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(startCalls_.size()), all.end());
  }

  hosttest::LogFolder startLog_;
  hosttest::LogFolder log_;
  hosttest::StubCalls calls_;
  Lines startCalls_;
  std::unique_ptr<duvane::ReaderLibrary> library_;
};

TEST_F(HostCardCommands, ReaderOpenedAtStartServesBothCommands) {
  Start(hosttest::StubLibrary("no_halt"));
  EXPECT_EQ(CardNo(), kCardNoSuccess);
  EXPECT_EQ(CardSn(), kCardSnSuccess);
  EXPECT_EQ(CallsSinceStart(), (Lines{"Card_ReadCardNo 7", "Card_Init 7"}));
  EXPECT_EQ(Logged(), Lines{});
}

TEST_F(HostCardCommands, FirstCommandOpensTheReaderOnceAndLaterOnesDoNot) {
  Start(hosttest::StubLibrary("no_pidsn"));  // incomplete: not opened at start
  EXPECT_EQ(CardSn(), kCardSnSuccess);
  EXPECT_EQ(CardSn(), kCardSnSuccess);
  EXPECT_EQ(CardNo(), kCardNoSuccess);
  EXPECT_EQ(Logged(), Lines{Ansi("打开370读卡器成功！")});
  EXPECT_EQ(CallsSinceStart(),
            (Lines{"ReadCard_Init 0 0", "Card_Init 7", "Card_Init 7", "Card_ReadCardNo 7"}));
}

TEST_F(HostCardCommands, FailedOpenIsRetriedByEveryCommand) {
  Start(hosttest::StubLibrary("init_zero"));
  EXPECT_EQ(CardNo(), kCardNoCannotOpen);
  EXPECT_EQ(CardSn(), kCardSnCannotOpen);
  EXPECT_EQ(Logged(), (Lines{Ansi("打开370读卡器失败！"), Ansi("打开370读卡器失败！")}));
  EXPECT_EQ(CallsSinceStart(), (Lines{"ReadCard_Init 0 0", "ReadCard_Init 0 0"}));
}

TEST_F(HostCardCommands, FailedReadKeepsTheReaderOpen) {
  Start(hosttest::StubLibrary("no_halt"));
  ::setenv("HOST_STUB_CARD_RESULT", "-6", 1);
  EXPECT_EQ(CardNo(), kCardNoReadFailed);
  ::setenv("HOST_STUB_CARD_RESULT", "25088", 1);  // 0x6200, no reader connection
  EXPECT_EQ(CardSn(), kCardSnReadFailed);
  ::unsetenv("HOST_STUB_CARD_RESULT");
  EXPECT_EQ(CardNo(), kCardNoSuccess);
  EXPECT_EQ(Logged(), Lines{});
  EXPECT_EQ(CallsSinceStart(), (Lines{"Card_ReadCardNo 7", "Card_Init 7", "Card_ReadCardNo 7"}));
}

TEST_F(HostCardCommands, NegativeOpenResultIsPassedBackAsTheHandle) {
  Start(hosttest::StubLibrary("init_negative"));
  EXPECT_EQ(CardNo(), kCardNoSuccess);
  EXPECT_EQ(CallsSinceStart(), Lines{"Card_ReadCardNo -2146435060"});
}

TEST_F(HostCardCommands, ValuesAreLittleEndianUpperHexAndTypeIsPlainDecimal) {
  Start(hosttest::StubLibrary("no_halt"));
  ::setenv("HOST_STUB_CARD_NO", "12345678", 1);
  EXPECT_EQ(CardNo(), R"({"ResultCode":"0000","ResultMsg":"成功","CardNo":"78563412"})");
  ::setenv("HOST_STUB_CARD_NO", "00000000", 1);
  EXPECT_EQ(CardNo(), R"({"ResultCode":"0000","ResultMsg":"成功","CardNo":"00000000"})");
  ::setenv("HOST_STUB_SERIAL", "abcdef09", 1);
  ::setenv("HOST_STUB_CARD_TYPE", "255", 1);
  EXPECT_EQ(CardSn(),
            R"({"ResultCode":"0000","ResultMsg":"成功","CardSN":"09EFCDAB","CardType":"255"})");
  ::setenv("HOST_STUB_CARD_TYPE", "0", 1);
  EXPECT_EQ(CardSn(),
            R"({"ResultCode":"0000","ResultMsg":"成功","CardSN":"09EFCDAB","CardType":"0"})");
}

TEST_F(HostCardCommands, WithoutTheLibraryBothCannotOpen) {
  Start("libVelmora_not_there.so");
  EXPECT_EQ(CardNo(), kCardNoCannotOpen);
  EXPECT_EQ(CardSn(), kCardSnCannotOpen);
  EXPECT_EQ(Logged(), Lines{});
}

TEST_F(HostCardCommands, WithoutReadCardInitBothCannotOpenAndNothingIsCalled) {
  Start(hosttest::StubLibrary("no_init"));
  EXPECT_EQ(CardNo(), kCardNoCannotOpen);
  EXPECT_EQ(CardSn(), kCardSnCannotOpen);
  EXPECT_EQ(Logged(), Lines{});
  EXPECT_EQ(calls_.Calls(), Lines{});
}

TEST_F(HostCardCommands, MissingReadFunctionIsAFailedRead) {
  Start(hosttest::StubLibrary("no_readcardno"));
  EXPECT_EQ(CardNo(), kCardNoReadFailed);
  EXPECT_EQ(CardSn(), kCardSnSuccess);
  EXPECT_EQ(Logged(), Lines{Ansi("打开370读卡器成功！")});
  EXPECT_EQ(CallsSinceStart(), (Lines{"ReadCard_Init 0 0", "Card_Init 7"}));
}

TEST_F(HostCardCommands, MissingCardInitIsAFailedSerialRead) {
  Start(hosttest::StubLibrary("no_card_init"));
  EXPECT_EQ(CardSn(), kCardSnReadFailed);
  EXPECT_EQ(CardNo(), kCardNoSuccess);
  EXPECT_EQ(CallsSinceStart(), (Lines{"ReadCard_Init 0 0", "Card_ReadCardNo 7"}));
}

}  // namespace
