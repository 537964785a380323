#include "service/idcard/get_pid_command.h"

#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "platform/fault_guard.h"
#include "service/ansi_text.h"
#include "service/idcard/holder_record.h"
#include "service/idcard/zet_idcard_api.h"

namespace duvane {
namespace {

constexpr uint32_t kToneFrequencyHz = 4000;
constexpr uint32_t kToneDurationMs = 200;

// The library's photo options: where and in which form it keeps the photo.
constexpr int32_t kPhotoPathMode = 1;
constexpr int32_t kPhotoType = 1;
constexpr int32_t kPhotoNameKind = 3;

constexpr std::size_t kPhotoPathSize = 256;
constexpr std::size_t kCardSearchSize = 4;
constexpr std::size_t kCardSelectSize = 8;

// Everything the reading steps hand to the library or get from it, in plain
// buffers: a fault inside the library abandons the frames that called it,
// so none of them may own anything that needs destroying.
struct CardReading {
  int32_t port = 0;
  int32_t openResult = 0;
  int32_t readStatus = 0;
  bool recordRead = false;
  std::array<char, kPhotoPathSize> photoPath{};
  std::array<unsigned char, kCardSearchSize> search{};
  std::array<unsigned char, kCardSelectSize> select{};
  HolderRecordBuffer record{};
  std::array<char, ZET_PHOTO_BUFFER_SIZE> photo{};
  int32_t photoLength = 0;
};

// The calls into the library, in their order. A missing or unselected card
// is not told by the search and select; it shows as a failed record read.
void ReadIntoBuffers(void* context) {
  CardReading& reading = *static_cast<CardReading*>(context);
  Zet_SetPhotoPath(kPhotoPathMode, reading.photoPath.data());
  Zet_SetPhotoType(kPhotoType);
  Zet_SetPhotoName(kPhotoNameKind);
  reading.openResult = Zet_OpenPort(reading.port);
  if (reading.openResult != 0) return;
  Zet_StartFindIDCard(reading.port, reading.search.data(), 0);
  Zet_SelectIDCard(reading.port, reading.select.data(), 0);
  reading.readStatus = Zet_ReadMsg(reading.port, 0, reading.record.data());
  if (reading.readStatus != 0) return;
  reading.recordRead = true;
  char* reference = reinterpret_cast<char*>(reading.record.data() + kPhotoReferenceOffset);
  Zet_PhotoToStrBase64(reading.photo.data(), &reading.photoLength, reference);
}

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
  ReplyBody body("0000", Ansi("成功"));
  body.Add("Name", texts.name)
      .Add("Sex", texts.sex)
      .Add("Nation", texts.nation)
      .Add("Address", texts.address)
      .Add("IDCardNo", texts.idCardNo)
      .Add("photo", PhotoText(reading));
  return body;
}

ReplyBody ReadingFailedBody() { return ReplyBody("0103", Ansi("读取身份证异常")); }

ReplyBody ReadCard(int32_t port) {
  // About 9 KiB: kept off the service thread's stack.
  auto reading = std::make_unique<CardReading>();
  reading->port = port;
  if (!platform::RunGuardingFaults(ReadIntoBuffers, reading.get())) return ReadingFailedBody();
  if (reading->openResult != 0) return ReplyBody("0102", Ansi("打开身份证阅读器端口失败"));
  if (!reading->recordRead) {
    return ReplyBody("0102", Ansi("读取身份证失败_") + std::to_string(reading->readStatus));
  }
  return SuccessBody(*reading);
}

}  // namespace

ReplyBody GetPidCommand(ToneFunction tone) {
  const int32_t port = Zet_FindUSBReader();
  if (port == 0) return ReplyBody("0100", Ansi("寻找身份证阅读器失败"));
  if (tone != nullptr) tone(kToneFrequencyHz, kToneDurationMs);
  // Whatever body was begun is dropped on an exception or a fault in the
  // library; the page learns only that the reading failed.
  try {
    return ReadCard(port);
  } catch (...) {
    return ReadingFailedBody();
  }
}

}  // namespace duvane
