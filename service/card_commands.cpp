#include "service/card_commands.h"

#include <cstdio>

#include "service/result_codes.h"

namespace duvane {
namespace {

// Failure bodies carry this fixed text, prefix included, instead of a value.
constexpr const char* kNoValue = "0X00000000";

// The library writes the value's bytes least significant first.
uint32_t LittleEndian(const unsigned char (&bytes)[4]) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string EightHexDigits(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

ReplyBody CannotOpen(const char* valueKey) {
  return ResultBody(Result::kReaderNotOpen).Add(valueKey, kNoValue);
}

}  // namespace

ReplyBody GetCardNoCommand(ReaderLibrary& library, const DailyLog& log) {
  // Without ReadCard_Init there is nothing that could open the reader.
  if (!library.OpenReaderIfClosed(log)) return CannotOpen("CardNo");
  const Card_ReadCardNo_fn readCardNo = library.CardReadCardNo();
  unsigned char cardNo[4] = {};
  if (readCardNo == nullptr || readCardNo(library.ReaderHandleArgument(), cardNo) != 0) {
    return ResultBody(Result::kCardNoFailed).Add("CardNo", kNoValue);
  }
  return ResultBody(Result::kSuccess).Add("CardNo", EightHexDigits(LittleEndian(cardNo)));
}

ReplyBody GetCardSnCommand(ReaderLibrary& library, const DailyLog& log) {
  if (!library.OpenReaderIfClosed(log)) return CannotOpen("CardSN");
  const Card_Init_fn cardInit = library.CardInit();
  unsigned char serial[4] = {};
  unsigned char cardType = 0;
  if (cardInit == nullptr || cardInit(library.ReaderHandleArgument(), serial, &cardType) != 0) {
    return ResultBody(Result::kSerialFailed).Add("CardSN", kNoValue);
  }
  return ResultBody(Result::kSuccess)
      .Add("CardSN", EightHexDigits(LittleEndian(serial)))
      .Add("CardType", std::to_string(cardType));
}

}  // namespace duvane
