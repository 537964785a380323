#include "service/idcard/zet_calls.h"

#include <array>

namespace duvane {

std::string_view ZetStepName(int step) {
  static constexpr std::array<std::string_view, kZetStepCount> kNames = {
      "Zet_FindUSBReader", "Zet_SetPhotoPath", "Zet_SetPhotoType",
      "Zet_SetPhotoName",  "Zet_OpenPort",     "Zet_StartFindIDCard",
      "Zet_SelectIDCard",  "Zet_ReadMsg",      "Zet_PhotoToStrBase64"};
  if (step < 0 || step >= kZetStepCount) return "";
  return kNames[static_cast<std::size_t>(step)];
}

}  // namespace duvane
