#include "sim_fixture.h"

#include <cctype>

simreader::Bytes HexBytes(const std::string& text) {
  simreader::Bytes bytes;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string HexText(const simreader::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

void VelmoraSimTest::TearDown() {
  library_.reset();
  pcscd_.reset();
}

void VelmoraSimTest::Start(std::vector<std::string> readerNames, const std::string& tracePath) {
  pcscd_ = std::make_unique<simreader::SimPcscd>(std::move(readerNames));
  ASSERT_TRUE(pcscd_->Running()) << pcscd_->Error();
  library_ = std::make_unique<VelmoraCopy>(tracePath);
  ASSERT_TRUE(library_->Loaded()) << library_->Error();
}

void VelmoraSimTest::StartConnected(const simreader::MemoryCard& card) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(InsertCard(card));
  ASSERT_GE(Lib().ReadCard_Init(0, 0), 1);
  Reader().ClearLog();
}

void VelmoraSimTest::StartConnected() { StartConnected(simreader::DemoCard()); }

void VelmoraSimTest::InsertCard(const simreader::MemoryCard& card, size_t index) {
  Reader(index).InsertCard(card);
  ASSERT_TRUE(Reader(index).WaitForCard(true, kCardWait));
}

std::vector<std::string> VelmoraSimTest::Sent(size_t index) {
  std::vector<std::string> commands;
  for (const simreader::Exchange& exchange : Reader(index).Log()) {
    commands.push_back(HexText(exchange.command));
  }
  return commands;
}
