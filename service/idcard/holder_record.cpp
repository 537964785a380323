#include "service/idcard/holder_record.h"

#include <algorithm>
#include <string_view>

namespace duvane {
namespace {

struct TextField {
  std::size_t offset;
  std::size_t room;
};

constexpr TextField kName{0, 32};
constexpr TextField kSex{32, 6};
constexpr TextField kNation{38, 38};
constexpr TextField kAddress{76, 72};
constexpr TextField kIdCardNo{148, 144};

static_assert(kIdCardNo.offset + kIdCardNo.room == kPhotoReferenceOffset);

std::string TextAt(std::span<const unsigned char, kHolderRecordSize> record, TextField field) {
  const auto room = record.subspan(field.offset, field.room);
  const auto end = std::find(room.begin(), room.end(), 0);
  return std::string(room.begin(), end);
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string TrimBlanksAndControls(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

HolderTexts ReadHolderTexts(std::span<const unsigned char, kHolderRecordSize> record) {
  return HolderTexts{
      .name = TrimBlanksAndControls(TextAt(record, kName)),
      .sex = TextAt(record, kSex),
      .nation = TextAt(record, kNation),
      .address = TextAt(record, kAddress),
      .idCardNo = TextAt(record, kIdCardNo),
  };
}

}  // namespace duvane
