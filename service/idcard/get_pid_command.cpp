#include "service/idcard/get_pid_command.h"

#include <array>
#include <cstring>
#include <span>
#include <string>
#include <vector>

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

void SetPhotoOptions() {
  std::array<char, kPhotoPathSize> photoPath{};
  Zet_SetPhotoPath(kPhotoPathMode, photoPath.data());
  Zet_SetPhotoType(kPhotoType);
  Zet_SetPhotoName(kPhotoNameKind);
}

// A missing or unselected card is not told here; it shows as a failed read.
void FindAndSelectCard(int32_t port) {
  std::array<unsigned char, kCardSearchSize> search{};
  std::array<unsigned char, kCardSelectSize> select{};
  Zet_StartFindIDCard(port, search.data(), 0);
  Zet_SelectIDCard(port, select.data(), 0);
}

// The photo as Base64 text; empty when the library wrote nothing. The buffer
// holds a zero-terminated text, so a library that fills every byte of it is
// read up to its last byte but one.
std::string ReadPhoto(HolderRecordBuffer& record) {
  std::vector<char> photo(ZET_PHOTO_BUFFER_SIZE, '\0');
  int32_t photoLength = 0;
  char* reference = reinterpret_cast<char*>(record.data() + kPhotoReferenceOffset);
  Zet_PhotoToStrBase64(photo.data(), &photoLength, reference);
  return std::string(photo.data(), strnlen(photo.data(), photo.size() - 1));
}

ReplyBody SuccessBody(HolderRecordBuffer& record) {
  const HolderTexts texts = ReadHolderTexts(
      std::span<const unsigned char, kHolderRecordSize>(record.data(), kHolderRecordSize));
  ReplyBody body("0000", Ansi("成功"));
  body.Add("Name", texts.name)
      .Add("Sex", texts.sex)
      .Add("Nation", texts.nation)
      .Add("Address", texts.address)
      .Add("IDCardNo", texts.idCardNo);
  body.Add("photo", ReadPhoto(record));
  return body;
}

ReplyBody ReadCard(int32_t port) {
  HolderRecordBuffer record{};
  SetPhotoOptions();
  if (Zet_OpenPort(port) != 0) return ReplyBody("0102", Ansi("打开身份证阅读器端口失败"));
  FindAndSelectCard(port);
  const int32_t status = Zet_ReadMsg(port, 0, record.data());
  if (status != 0) return ReplyBody("0102", Ansi("读取身份证失败_") + std::to_string(status));
  return SuccessBody(record);
}

}  // namespace

ReplyBody GetPidCommand(ToneFunction tone) {
  const int32_t port = Zet_FindUSBReader();
  if (port == 0) return ReplyBody("0100", Ansi("寻找身份证阅读器失败"));
  if (tone != nullptr) tone(kToneFrequencyHz, kToneDurationMs);
  try {
    return ReadCard(port);
  } catch (...) {
    // Whatever body was begun is dropped; the page learns only that the
    // reading failed.
    return ReplyBody("0103", Ansi("读取身份证异常"));
  }
}

}  // namespace duvane
