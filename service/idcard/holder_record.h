// The holder's texts in the record that the identity-card library fills.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>

#include "zet_idcard_api.h"

namespace duvane {

inline constexpr std::size_t kHolderRecordSize = ZET_HOLDER_RECORD_SIZE;
inline constexpr std::size_t kPhotoReferenceOffset = 292;

// The record as the command hands it to the library. One zero byte stays
// behind the record so that a library reading the photo reference (the last
// text, which may fill the record to its end) as a plain C string stops there.
using HolderRecordBuffer = std::array<unsigned char, kHolderRecordSize + 1>;

// Narrow (GBK) texts, as the library wrote them.
struct HolderTexts {
  std::string name;  // blanks and control characters removed at both ends
  std::string sex;
  std::string nation;
  std::string address;
  std::string idCardNo;
};

// Each text ends at its first zero byte or at the start of the next text,
// whichever comes first, so a text that fills its room never runs into its
// neighbour and nothing past the record's last byte is read.
HolderTexts ReadHolderTexts(std::span<const unsigned char, kHolderRecordSize> record);

}  // namespace duvane
