// Velmora.dll as a Windows caller binds it (LoadLibrary, GetProcAddress),
// over the test winscard.dll and its simulated readers.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>

#include "common/hex.h"
#include "sim_folder.h"
#include "velmora_copy.h"

namespace {

using simreader::Bytes;
using simreader::MemoryCard;
using Strings = std::vector<std::string>;

Bytes Hex(std::string_view text) { return simreader::FromHex(text).value_or(Bytes{}); }

class VelmoraUnderWine : public ::testing::Test {
 protected:
  void Start(const Strings& readers = {"Quorvell K370A Reader"}) {
    library_.reset();
    sim_.reset();
    sim_ = std::make_unique<simreader::SimFolder>(readers);
    ASSERT_TRUE(sim_->Ready()) << sim_->Error();
    library_ = std::make_unique<VelmoraCopy>();
    ASSERT_TRUE(library_->Loaded()) << library_->Error();
  }
  // The reader holds the card, the session is open and the log cleared.
  void StartConnected(const MemoryCard& card = simreader::DemoCard()) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Reader().InsertCard(card);
    ASSERT_GE(Lib().ReadCard_Init(0, 0), 1);
    Reader().ClearLog();
  }
  void TearDown() override {
    library_.reset();
    sim_.reset();
  }

  simreader::SimReader& Reader(size_t index = 0) { return sim_->Reader(index); }
  VelmoraCopy& Lib() { return *library_; }
  Strings Sent(size_t index = 0) {
    Strings commands;
    for (const auto& exchange : Reader(index).Log()) {
      commands.push_back(simreader::ToHex(exchange.command));
    }
    return commands;
  }

 private:
  std::unique_ptr<simreader::SimFolder> sim_;
  std::unique_ptr<VelmoraCopy> library_;
};

TEST_F(VelmoraUnderWine, OpeningChoosesTheOneServedReader) {
  struct Case {
    const char* what;
    Strings readers;
    bool withCards;    // every reader holds the demo card
    int32_t expected;  // 1: any device value
  };
  const Case cases[] = {
      {"no reader", {}, false, -1},
      {"a served reader beside another make",
       {"Kestrel CL10 Reader", "Quorvell K370A Reader"},
       true,
       1},
      {"two served readers", {"Quorvell K360A Reader", "Quorvell K360A Reader"}, true, -1},
      {"no card", {"Quorvell K370A Reader"}, false, static_cast<int32_t>(0x8010000CU)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Start(c.readers));
    for (size_t i = 0; c.withCards && i < c.readers.size(); ++i) {
      Reader(i).InsertCard(simreader::DemoCard());
    }
    const int32_t opened = Lib().ReadCard_Init(0, 0);
    if (c.expected == 1) {
      EXPECT_GE(opened, 1);
      EXPECT_EQ(Lib().SetFindType(0), 0x9000);
      EXPECT_TRUE(Sent(0).empty());
      EXPECT_EQ(Sent(1), Strings{"801100F000"});
    } else {
      EXPECT_EQ(opened, c.expected);
    }
  }
}

TEST_F(VelmoraUnderWine, ListingWritesEveryNameWithABarAndNoTerminatingZero) {
  ASSERT_NO_FATAL_FAILURE(Start({"A", "B"}));
  const std::string expected = "A 00 00|B 01 00|";
  char buffer[64];
  std::fill(std::begin(buffer), std::end(buffer), '#');
  EXPECT_EQ(Lib().EnumerateReaders(buffer), 2);
  EXPECT_EQ(std::string(buffer, expected.size() + 1), expected + "#");
}

TEST_F(VelmoraUnderWine, PendingDataIsFetchedWithOneGetResponse) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Bytes apdu = Hex("00B0000010");
  const Bytes data = Hex("303132333435363738393A3B3C3D3E3F");
  Bytes final = data;
  final.insert(final.end(), {0x90, 0x00});
  Reader().ScriptReplies(apdu, {Hex("6110")});
  Reader().ScriptReplies(Hex("00C0000010"), {final});
  std::array<uint8_t, 260> answer{};
  uint8_t length = 0;
  EXPECT_EQ(Lib().CPUCard_RunApdu(apdu.data(), 5, answer.data(), &length), 0x9000);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 16), data);
  EXPECT_EQ(Sent(), (Strings{"00B0000010", "00C0000010"}));
}

TEST_F(VelmoraUnderWine, AnUnpluggedReaderIsGivenUpAndReopenedWhenPluggedAgain) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  Reader().Unplug();
  EXPECT_EQ(Lib().SetFindType(0), 0x6200);
  Reader().Plug();
  Reader().ClearLog();
  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
  EXPECT_EQ(Sent(), Strings{"801100F000"});
  // A failing transmission closes the session; the next call opens it again.
  Reader().FailTransmit(true);
  EXPECT_EQ(Lib().SetFindType(0), 0x6200);
  Reader().FailTransmit(false);
  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
}

TEST_F(VelmoraUnderWine, TheCardNumberIsReadOnlyWithAMatchingCheckValue) {
  MemoryCard forged = simreader::DemoCard();
  forged.blocks[2][15] ^= 0x01;
  struct Case {
    const char* what;
    bool withCard;
    MemoryCard card;
    std::function<void(simreader::SimReader&)> prepare;
    int32_t expected;
  };
  const auto nothing = [](simreader::SimReader&) {};
  const Case cases[] = {
      {"the demo card", true, simreader::DemoCard(), nothing, 0},
      {"a forged check value", true, forged, nothing, -6},
      {"no card", false, {}, nothing, -1},
      {"the key refused", true, simreader::DemoCard(),
       [](simreader::SimReader& r) { r.ForceStatus(0x01, 0x04, 0x6982); }, -3},
      {"block 1 unreadable", true, simreader::DemoCard(),
       [](simreader::SimReader& r) { r.ForceStatus(0x01, 0x05, 0x6A83); }, -4},
      {"block 2 unreadable", true, simreader::DemoCard(),
       [](simreader::SimReader& r) { r.ScriptReplies(Hex("801101050102"), {Hex("6A83")}); }, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Start());
    if (c.withCard) Reader().InsertCard(c.card);
    c.prepare(Reader());
    std::array<uint8_t, 4> number{0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Lib().Card_ReadCardNo(0, number.data()), c.expected);
    const std::array<uint8_t, 4> written = c.expected == 0
                                               ? std::array<uint8_t, 4>{1, 2, 3, 4}
                                               : std::array<uint8_t, 4>{0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(number, written);
  }
}

}  // namespace
