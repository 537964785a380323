// Every card operation of the reader library against a card, reader and
// PC/SC layer whose every answer the fuzzer chooses (fake_pcsc.h): replies of
// any length up to the receive capacity, any status words, 61 xx chains,
// failed transmissions, connects and listings. The input is a program: a
// byte picks the first find type, then each operation takes a byte, its
// arguments, and the fake's answers as they are asked for.
//
// ASan and UBSan watch the library's own buffers and the exactly-sized
// caller buffers; each call is also held to the library's contract: caller
// buffers written only on success, with exactly the bytes stated, and the
// result that the last reply gives.
#include <array>
#include <cstdint>
#include <cstring>
#include <set>

#include "caller_buffer.h"
#include "card_contract.h"
#include "card_number.h"
#include "card_operation.h"
#include "fake_pcsc.h"
#include "session_state.h"
#include "velmora.h"
#include "velmora/md5_digest.h"

namespace {

using card_contract::CardLevelResult;
using card_contract::LastExchange;
using card_contract::Outcome;
using fake_pcsc::Input;
using fake_pcsc::Log;
using fake_pcsc::Require;
using Bytes = std::vector<uint8_t>;

constexpr size_t kAnswerDataMax = 253;  // GetPIDSN and CPUCard_Reset
constexpr size_t kBlock = 16;
constexpr int kMaxOperations = 32;

CallerBuffer InputBuffer(size_t size) {
  CallerBuffer buffer(size);
  Input().Fill(buffer.data(), size);
  return buffer;
}

// The device value that callers pass back; the library never reads it.
constexpr int32_t kDevice = 1;

// A one-byte argument such as a block number, sometimes with higher bits
// set, which the library must drop.
int32_t SmallArgument() {
  const uint8_t low = Input().Byte();
  return low | (Input().Byte() % 4 == 3 ? 0x100 : 0);
}

// A card-level call that fills `out` with `count` answer bytes from `offset`.
void CheckCardLevelOutput(int32_t result, size_t taken, CallerBuffer& out, size_t offset) {
  const Outcome outcome = LastExchange();
  Require(result == CardLevelResult(outcome, taken), "card-level result is not the reply's");
  if (result != 0) {
    Require(out.Untouched(), "output written on failure");
    return;
  }
  Require(out.StartsWith(outcome.data() + offset, out.size()), "output is not the answer bytes");
}

// GetPIDSN and CPUCard_Reset: all answer data and its count, on 90 00 only.
void CheckAllAnswerData(uint16_t status, CallerBuffer& buffer, CallerBuffer& length) {
  const Outcome outcome = LastExchange();
  Require(status == outcome.status, "status is not the reply's");
  if (status != VELMORA_SW_SUCCESS) {
    Require(buffer.Untouched() && length.Untouched(), "output written on failure");
    return;
  }
  Require(length.data()[0] == outcome.dataLength() &&
              buffer.StartsWith(outcome.data(), outcome.dataLength()) &&
              buffer.UntouchedFrom(outcome.dataLength()),
          "answer data or count differ from the reply");
}

void RunInit() {
  const int32_t result = ReadCard_Init(0, 0);
  Require(result != 0, "ReadCard_Init gave 0");
  Require((result >= 1) == (fake_pcsc::LiveCards() == 1), "device value without a connection");
}

void RunExit() {
  Require(ReadCard_Exit(kDevice) == 0, "ReadCard_Exit gave other than 0");
  Require(fake_pcsc::LiveContexts() == 0 && fake_pcsc::LiveCards() == 0,
          "ReadCard_Exit left PC/SC handles open");
}

void RunEnumerateReaders() {
  const bool withBuffer = Input().Byte() % 8 != 0;
  const fake_pcsc::ReaderList list = fake_pcsc::PlanListing();
  std::string joined;
  for (const std::string& name : list.names) joined += name + '|';
  CallerBuffer names(joined.empty() ? 1 : joined.size());
  const int32_t count =
      EnumerateReaders(withBuffer ? reinterpret_cast<char*>(names.data()) : nullptr);
  Require(count == static_cast<int32_t>(list.names.size()), "reader count differs");
  Require(joined.empty()
              ? names.Untouched()
              : !withBuffer || names.StartsWith(reinterpret_cast<const uint8_t*>(joined.data()),
                                                joined.size()),
          "reader names differ");
  Require(fake_pcsc::LiveCards() == 0, "a card connection survived the listing");
}

void RunSetFindType() {
  const int32_t findType = SmallArgument();
  const int32_t before = velmora::CurrentFindType().load();
  const uint16_t status = SetFindType(findType);
  Require(status == LastExchange().status, "status is not the reply's");
  const int32_t after = velmora::CurrentFindType().load();
  // A failed call keeps the find type, but the exchange's own re-open turns
  // an unknown one (-1) into 0.
  Require(status == VELMORA_SW_SUCCESS ? after == (findType & 0xFF)
                                       : after == before || (before == -1 && after == 0),
          "find type not kept as stated");
}

void RunGetPidsn() {
  CallerBuffer buffer(kAnswerDataMax), length(1);
  CheckAllAnswerData(GetPIDSN(buffer.data(), length.data()), buffer, length);
}

void RunCpuReset() {
  CallerBuffer buffer(kAnswerDataMax), length(1);
  CheckAllAnswerData(CPUCard_Reset(buffer.data(), length.data()), buffer, length);
}

void RunGetHardId() {
  CallerBuffer id(kBlock);
  CheckCardLevelOutput(Card_GetHardID(id.data()), kBlock, id, 0);
}

// Card_Init, Card_Anticoll and Card_Select: the card type is answer byte 2,
// the serial bytes 3 to 6.
void RunCardInit() {
  CallerBuffer serial(4), cardType(1);
  const int32_t result = Card_Init(kDevice, serial.data(), cardType.data());
  CheckCardLevelOutput(result, 7, serial, 3);
  CheckCardLevelOutput(result, 7, cardType, 2);
}

void RunAnticoll() {
  CallerBuffer serial(4);
  CheckCardLevelOutput(Card_Anticoll(kDevice, 0, serial.data()), 7, serial, 3);
}

void RunSelect() {
  CallerBuffer cardType(1);
  CheckCardLevelOutput(Card_Select(kDevice, 0, cardType.data()), 7, cardType, 2);
}

void RunRead() {
  CallerBuffer data(kBlock);
  const int32_t block = SmallArgument();
  CheckCardLevelOutput(Card_Read(kDevice, block, data.data()), kBlock, data, 0);
}

// Commands without answer bytes: only their result is owed.
void RunCommandWithoutOutput() {
  const uint8_t which = Input().Byte();
  const int32_t first = SmallArgument();
  const int32_t second =
      which % 8 == 6 || which % 8 == 0 ? SmallArgument() : static_cast<int32_t>(Input().Word());
  const int32_t device = kDevice;
  int32_t result = 0;
  switch (which % 8) {
    case 0:
      result = Card_LoadKey(device, first, second, InputBuffer(6).data());
      break;
    case 1:
      result = Card_Write(device, first, InputBuffer(kBlock).data());
      break;
    case 2:
      result = Card_Increment(device, first, second);
      break;
    case 3:
      result = Card_Decrement(device, first, second);
      break;
    case 4:
      result = Card_CreditLoad(device, first, second);
      break;
    case 5:
      result = Card_DebitLoad(device, first, second);
      break;
    case 6:
      result = Card_BlockCopy(device, first, second);
      break;
    default:
      result = Card_Transfer(device);
      break;
  }
  Require(result == CardLevelResult(LastExchange(), 0), "card-level result is not the reply's");
}

void RunFixedValue() {
  CallerBuffer buffer(16);
  const std::array<int32_t, 7> results{
      Card_Request(1, 2, buffer.data()),
      Card_Authentication(1, 2, 3),
      Card_Halt(1),
      Card_Beep(1, 2),
      Card_Changeb3(1, 2, buffer.data(), 3, 4, 5, 6, 7, buffer.data()),
      Card_ReadBlockInfo(1, 2, 3, buffer.data()),
      Card_WriteBlockInfo(1, 2, 3, buffer.data())};
  Require(results == (std::array<int32_t, 7>{0, -1, -1, 0, -1, -1, -1}) && Log().empty() &&
              buffer.Untouched(),
          "a function without reader work did some");
}

// The card number is accepted only when block 2 holds the digest of the
// check message built from block 1; nothing but reads is sent to the card.
void RunReadCardNo() {
  CallerBuffer cardNo(velmora::kCardNumberSize);
  const int32_t result = Card_ReadCardNo(kDevice, cardNo.data());
  static const std::set<int32_t> kResults{0, -1, -3, -4, -5, -6};
  Require(kResults.count(result) == 1, "card-number result outside its codes");
  for (const fake_pcsc::Transmission& sent : Log()) {
    const Bytes& c = sent.command;
    const bool reads = sent.getResponse || c == Bytes{0x80, 0x11, 0x00, 0xF0, 0x00} ||
                       c == Bytes{0x80, 0x11, 0x01, 0x00, 0x00} ||
                       (c.size() == 13 && c[3] == 0x04 && c[5] == 0 && c[6] == 1) ||
                       (c.size() == 6 && c[3] == 0x05 && (c[5] == 1 || c[5] == 2));
    Require(reads, "the card-number read sent a write or value command");
  }
  if (result != 0) {
    Require(cardNo.Untouched(), "card number written on failure");
    return;
  }
  const fake_pcsc::Transmission* block1 = card_contract::ReplyTo({0x80, 0x11, 0x01, 0x05, 1, 1});
  const fake_pcsc::Transmission* block2 = card_contract::ReplyTo({0x80, 0x11, 0x01, 0x05, 1, 2});
  Require(block1 != nullptr && block2 != nullptr, "card number accepted without both blocks");
  Require(cardNo.StartsWith(block1->reply.data() + 2, velmora::kCardNumberSize),
          "card number is not bytes 2 to 5 of block 1");
  const auto message = velmora::CheckMessage(block1->reply.data() + 2);
  uint8_t digest[velmora::platform::kMd5Size];
  Require(velmora::platform::Md5(message.data(), message.size(), digest) &&
              std::memcmp(digest, block2->reply.data(), sizeof digest) == 0,
          "card number accepted with a wrong check value");
}

// The APDU goes out unchanged (low byte of its length); the answer record is
// the exchange's, then the data moves to offset 0 when the count is 3 or more.
void RunApdu() {
  const uint8_t length = Input().Byte();
  const int32_t apduLength = length + 256 * (Input().Byte() % 4);
  CallerBuffer apdu = InputBuffer(length);
  CallerBuffer answer(velmora::kAnswerRecordSize), count(1);
  count.data()[0] = Input().Byte();
  const Bytes before = answer.Bytes();
  const uint8_t countBefore = count.data()[0];
  const uint16_t status = CPUCard_RunApdu(apdu.data(), apduLength, answer.data(), count.data());

  Require(status == LastExchange().status, "status is not the reply's");
  Require(Log().empty() || Log().front().command == apdu.Bytes(), "APDU not sent as given");
  card_contract::Record expected = card_contract::RecordAfterExchange(before, countBefore);
  if (expected.count >= 3) {
    expected.count = static_cast<uint8_t>(expected.count - 2);
    std::memmove(expected.bytes.data(), expected.bytes.data() + velmora::kReplyOffset,
                 expected.count);
  }
  Require(count.data()[0] == expected.count && answer.Bytes() == expected.bytes,
          "answer or its count differ from the reply");
}

using Operation = void (*)();
constexpr std::array<Operation, 15> kOperations{
    RunInit,        RunExit,       RunEnumerateReaders,
    RunSetFindType, RunGetPidsn,   RunCpuReset,
    RunGetHardId,   RunCardInit,   RunAnticoll,
    RunSelect,      RunRead,       RunCommandWithoutOutput,
    RunFixedValue,  RunReadCardNo, RunApdu};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fake_pcsc::BeginInput(data, size);
  static constexpr std::array<int32_t, 4> kFirstFindTypes{-1, 0, 1, 16};
  velmora::CurrentFindType().store(kFirstFindTypes[Input().Byte() % kFirstFindTypes.size()]);
  for (int i = 0; i < kMaxOperations && !Input().Empty(); ++i) {
    const Operation operation = kOperations[Input().Byte() % kOperations.size()];
    fake_pcsc::ClearLog();
    operation();
  }
  ReadCard_Exit(0);
  Require(fake_pcsc::LiveContexts() == 0 && fake_pcsc::LiveCards() == 0, "PC/SC handles left open");
  return 0;
}
