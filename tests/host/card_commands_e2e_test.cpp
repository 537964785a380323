// The card commands through the real reader library, against a simulated
// reader behind a private pcscd.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "service/ansi_text.h"
#include "service/card_commands.h"
#include "sim_reader.h"

namespace {

using duvane::Ansi;
using Lines = std::vector<std::string>;

constexpr std::chrono::seconds kCardWait{10};
constexpr const char* kDemoCardNo =
    R"({"ResultCode":"0000","ResultMsg":"成功","CardNo":"04030201"})";
constexpr const char* kDemoCardSn =
    R"({"ResultCode":"0000","ResultMsg":"成功","CardSN":"D4C3B2A1","CardType":"8"})";
constexpr const char* kCardNoReadFailed =
    R"({"ResultCode":"0201","ResultMsg":"读卡失败","CardNo":"0X00000000"})";
constexpr const char* kCardSnReadFailed =
    R"({"ResultCode":"0201","ResultMsg":"读序列号失败","CardSN":"0X00000000"})";

class HostCardEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { pcscd_ = std::make_unique<simreader::SimPcscd>(); }
  void TearDown() override {
    library_.Unbind();
    pcscd_.reset();
  }

  simreader::SimReader& Reader() { return pcscd_->Reader(); }
  void InsertCard(const simreader::MemoryCard& card) {
    Reader().InsertCard(card);
    ASSERT_TRUE(Reader().WaitForCard(true, kCardWait));
  }
  // The start step of the service, with the library found beside the program.
  void Bind() { library_.Bind(log_.Log()); }

  std::string CardNo() { return GetCardNoCommand(library_, log_.Log()).ToUtf8Json(); }
  std::string CardSn() { return GetCardSnCommand(library_, log_.Log()).ToUtf8Json(); }
  Lines Logged() const { return log_.Messages(); }

  std::unique_ptr<simreader::SimPcscd> pcscd_;
  hosttest::LogFolder log_;
  duvane::ReaderLibrary library_{"libVelmora.so"};
};

TEST_F(HostCardEndToEnd, GoodCardGivesItsNumberAndSerial) {
  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard()));
  Bind();
  EXPECT_EQ(CardNo(), kDemoCardNo);
  EXPECT_EQ(CardSn(), kDemoCardSn);
  EXPECT_EQ(Logged(), Lines{Ansi("打开370读卡器成功！")});
}

TEST_F(HostCardEndToEnd, WrongCheckValueFailsOnlyTheNumber) {
  simreader::MemoryCard card = simreader::CardWithNumber({1, 2, 3, 4});
  card.blocks[2][15] ^= 0x01;
  ASSERT_NO_FATAL_FAILURE(InsertCard(card));
  Bind();
  EXPECT_EQ(CardNo(), kCardNoReadFailed);
  EXPECT_EQ(CardSn(), kDemoCardSn);
}

TEST_F(HostCardEndToEnd, NoCardAtStartThenACardIsRead) {
  // The library's "no card" result is non-zero, so the reader counts as open.
  Bind();
  EXPECT_EQ(Logged(), Lines{Ansi("打开370读卡器成功！")});
  EXPECT_EQ(CardNo(), kCardNoReadFailed);
  EXPECT_EQ(CardSn(), kCardSnReadFailed);

  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard()));
  EXPECT_EQ(CardNo(), kDemoCardNo);
  EXPECT_EQ(Logged().size(), 1u);
}

TEST_F(HostCardEndToEnd, UnpluggedReaderFailsAndRecoversWhenPluggedAgain) {
  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard()));
  Bind();
  ASSERT_EQ(CardNo(), kDemoCardNo);

  Reader().Unplug();
  EXPECT_EQ(CardNo(), kCardNoReadFailed);
  EXPECT_EQ(CardSn(), kCardSnReadFailed);

  Reader().Plug();
  ASSERT_TRUE(Reader().WaitForCard(true, kCardWait));
  EXPECT_EQ(CardNo(), kDemoCardNo);
  EXPECT_EQ(CardSn(), kDemoCardSn);
  EXPECT_EQ(Logged(), Lines{Ansi("打开370读卡器成功！")});
}

TEST_F(HostCardEndToEnd, CardTakenAwayFailsUntilItIsBack) {
  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard()));
  Bind();
  Reader().RemoveCard();
  ASSERT_TRUE(Reader().WaitForCard(false, kCardWait));
  EXPECT_EQ(CardNo(), kCardNoReadFailed);
  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard()));
  EXPECT_EQ(CardNo(), kDemoCardNo);
}

}  // namespace
