#include "commands.h"

#include <array>
#include <string_view>

#include "explanations.h"
#include "reader/reader_names.h"
#include "velmora.h"

namespace velmora_tool {
namespace {

// EnumerateReaders takes no size, so the room must be ample: pcsc-lite lists
// at most 16 readers of at most 128 bytes each.
constexpr size_t kReaderListRoom = 64 * 1024;
// The library's selectors for the card-number key; read uses the same.
constexpr int32_t kKeySelector1 = 0;
constexpr int32_t kKeySelector2 = 1;

std::vector<std::string> AttachedReaders() {
  std::vector<char> joined(kReaderListRoom + 1, '\0');
  const int32_t count = EnumerateReaders(joined.data());
  std::vector<std::string> names;
  std::string_view rest(joined.data());
  for (int32_t i = 0; i < count && !rest.empty(); ++i) {
    const size_t bar = rest.find('|');
    names.emplace_back(rest.substr(0, bar));
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
  }
  return names;
}

std::string WhyNoReaderOpens(const std::vector<std::string>& names) {
  if (names.empty()) return "no reader attached, or pcscd is not reachable";
  const velmora::ReaderMatch match = velmora::MatchServedReaders(names);
  if (match.count == 0) {
    return "no reader of a served model (Quorvell K360A Reader, Quorvell K370A Reader) attached";
  }
  if (match.count > 1) {
    return std::to_string(match.count) +
           " readers of a served model attached: the library opens only a single one";
  }
  return "PC/SC refused the session";
}

Failure StatusFailure(const char* call, int32_t result) {
  const auto statusWord = static_cast<uint16_t>(result);
  return {call, Hex4(statusWord), ExplainStatusWord(statusWord)};
}

// The reader session for one subcommand: opened as the service opens it,
// closed (and the card unpowered) on the way out.
class Session {
 public:
  Session() : device_(ReadCard_Init(0, 0)) {}
  ~Session() { ReadCard_Exit(device_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int32_t Device() const { return device_; }

  std::optional<Failure> OpenFailure() const {
    if (device_ >= 1) return std::nullopt;
    if (device_ == VELMORA_NO_SINGLE_READER || device_ == 0) {
      return Failure{"ReadCard_Init", std::to_string(device_), WhyNoReaderOpens(AttachedReaders())};
    }
    return Failure{"ReadCard_Init", Hex8(static_cast<uint32_t>(device_)),
                   ExplainPcscError(device_)};
  }

 private:
  int32_t device_;
};

Report Readers() {
  Report report;
  const std::vector<std::string> names = AttachedReaders();
  ReadCard_Exit(0);  // EnumerateReaders keeps a context
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const std::string& name : names) {
    const bool served = velmora::MatchServedReaders({name}).count > 0;
    list.push_back({{"name", name}, {"served", served}});
    report.lines.push_back(name + (served ? "  [served model]" : ""));
  }
  report.fields["readers"] = list;
  const velmora::ReaderMatch match = velmora::MatchServedReaders(names);
  if (match.count == 1) {
    report.Add("opens", match.lastName, "the library opens: " + match.lastName);
  } else {
    report.fields["opens"] = nullptr;
    report.failure =
        Failure{"EnumerateReaders", std::to_string(names.size()), WhyNoReaderOpens(names)};
  }
  return report;
}

uint32_t LittleEndian(const std::array<uint8_t, 4>& bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

struct CardIdentity {
  std::array<uint8_t, 4> serial{};
  uint8_t cardType = 0;
};

// Card_Init, which also selects the card for the commands after it.
std::optional<Failure> InitCard(const Session& session, CardIdentity& identity) {
  const int32_t result = Card_Init(session.Device(), identity.serial.data(), &identity.cardType);
  if (result != 0) return StatusFailure("Card_Init", result);
  return std::nullopt;
}

Report Card() {
  Report report;
  Session session;
  CardIdentity card;
  if ((report.failure = session.OpenFailure()) || (report.failure = InitCard(session, card))) {
    return report;
  }
  const auto& [serial, cardType] = card;
  // The service shows the serial as a little-endian number.
  const std::string shown = Hex8(LittleEndian(serial));
  report.Add("serial", shown, "serial: " + shown);
  report.Add("serialBytes", HexBytes(serial.data(), serial.size()),
             "serial bytes: " + HexBytes(serial.data(), serial.size(), " "));
  report.Add("cardType", cardType, "card type: " + std::to_string(cardType));
  return report;
}

Report CardNumber() {
  Report report;
  Session session;
  if ((report.failure = session.OpenFailure())) return report;
  std::array<uint8_t, 4> number{};
  const int32_t result = Card_ReadCardNo(session.Device(), number.data());
  if (result != 0) {
    report.failure =
        Failure{"Card_ReadCardNo", std::to_string(result), ExplainCardNumberResult(result)};
    return report;
  }
  const std::string shown = Hex8(LittleEndian(number));
  report.Add("cardNo", shown, "card number: " + shown);
  report.Add("checkValue", "matches", "check value: matches");
  return report;
}

Report ReadBlock(int32_t block, const std::array<uint8_t, 6>& key) {
  Report report;
  Session session;
  CardIdentity card;
  if ((report.failure = session.OpenFailure()) || (report.failure = InitCard(session, card))) {
    return report;
  }
  if (const int32_t result =
          Card_LoadKey(session.Device(), kKeySelector1, kKeySelector2, key.data());
      result != 0) {
    report.failure = StatusFailure("Card_LoadKey", result);
    return report;
  }
  std::array<uint8_t, 16> data{};
  if (const int32_t result = Card_Read(session.Device(), block, data.data()); result != 0) {
    report.failure = StatusFailure("Card_Read", result);
    return report;
  }
  report.fields["block"] = block;
  report.Add("data", HexBytes(data.data(), data.size()),
             "block " + std::to_string(block) + ": " + HexBytes(data.data(), data.size(), " "));
  return report;
}

// CPUCard_RunApdu leaves 2 in the length both for a bare status word and for
// two data bytes. The buffer is the exchange's record, which holds the raw
// reply (data, SW1, SW2) from byte 4, so the status bytes stand at bytes 6
// and 7 only when two data bytes came before them (the buffer starts zeroed).
size_t AnswerDataCount(const std::array<uint8_t, VELMORA_ANSWER_RECORD_SIZE>& answer,
                       uint8_t answerLength, uint16_t statusWord) {
  if (answerLength != 2) return answerLength;
  const bool statusAfterTwoBytes =
      statusWord != 0 && answer[6] == statusWord >> 8 && answer[7] == (statusWord & 0xFF);
  return statusAfterTwoBytes ? 2 : 0;
}

Report Apdu(const std::vector<uint8_t>& apdu) {
  Report report;
  Session session;
  if ((report.failure = session.OpenFailure())) return report;
  std::array<uint8_t, VELMORA_ANSWER_RECORD_SIZE> answer{};
  uint8_t answerLength = 0;
  const uint16_t statusWord =
      CPUCard_RunApdu(apdu.data(), static_cast<int32_t>(apdu.size()), answer.data(), &answerLength);
  const size_t count = AnswerDataCount(answer, answerLength, statusWord);
  report.Add("answer", HexBytes(answer.data(), count),
             "answer: " + (count > 0 ? HexBytes(answer.data(), count, " ") : "(no data)"));
  report.Add("status", Hex4(statusWord),
             "status: " + Hex4(statusWord) + " (" + ExplainStatusWord(statusWord) + ")");
  if (statusWord != VELMORA_SW_SUCCESS)
    report.failure = StatusFailure("CPUCard_RunApdu", statusWord);
  return report;
}

}  // namespace

Report RunCommand(const Invocation& invocation) {
  switch (invocation.command) {
    case Command::kReaders:
      return Readers();
    case Command::kCard:
      return Card();
    case Command::kCardNo:
      return CardNumber();
    case Command::kRead:
      return ReadBlock(invocation.block, invocation.key);
    case Command::kApdu:
      return Apdu(invocation.apdu);
    case Command::kNone:
      break;
  }
  return {};
}

}  // namespace velmora_tool
