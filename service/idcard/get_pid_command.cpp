#include "service/idcard/get_pid_command.h"

#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "service/idcard/holder_record.h"
#include "service/result_codes.h"

namespace duvane {
namespace {

constexpr uint32_t kToneFrequencyHz = 4000;
constexpr uint32_t kToneDurationMs = 200;

// The photo as Base64 text; empty when the library wrote nothing. The buffer
// holds a zero-terminated text, so a library that fills every byte of it is
// read up to its last byte but one.
std::string PhotoText(const CardReading& reading) {
  const char* photo = reading.photo.data();
  return std::string(photo, strnlen(photo, reading.photo.size() - 1));
}

ReplyBody SuccessBody(const CardReading& reading) {
  const HolderTexts texts = ReadHolderTexts(
      std::span<const unsigned char, kHolderRecordSize>(reading.record.data(), kHolderRecordSize));
  ReplyBody body = ResultBody(Result::kSuccess);
  body.Add("Name", texts.name)
      .Add("Sex", texts.sex)
      .Add("Nation", texts.nation)
      .Add("Address", texts.address)
      .Add("IDCardNo", texts.idCardNo)
      .Add("photo", PhotoText(reading));
  return body;
}

ReplyBody ReadingFailedBody() { return ResultBody(Result::kIdCardReadingFailed); }

ReplyBody ReadCard(IdCardLibrary& library, int32_t port) {
  // About 9 KiB: kept off the service thread's stack.
  auto reading = std::make_unique<CardReading>();
  if (!library.ReadCard(port, *reading)) return ReadingFailedBody();
  if (reading->openResult != 0) return ResultBody(Result::kIdCardPortFailed);
  if (!reading->recordRead) {
    return ResultBody(Result::kIdCardReadFailed, std::to_string(reading->readStatus));
  }
  return SuccessBody(*reading);
}

}  // namespace

ReplyBody GetPidCommand(IdCardLibrary& library, ToneFunction tone) {
  const std::optional<int32_t> port = library.FindReader();
  // A library still busy with a read that overran its bound is not called:
  // the page learns at once that the reading failed.
  if (!port) return ReadingFailedBody();
  if (*port == 0) return ResultBody(Result::kNoIdCardReader);
  if (tone != nullptr) tone(kToneFrequencyHz, kToneDurationMs);
  // Whatever body was begun is dropped on any exception while reading.
  try {
    return ReadCard(library, *port);
  } catch (...) {
    return ReadingFailedBody();
  }
}

}  // namespace duvane
