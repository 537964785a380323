#include "access_key.h"

#include <string_view>

namespace velmora {
namespace {

constexpr int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

constexpr bool IsKeyText(std::string_view text) {
  if (text.size() != kKeySize * 2) return false;
  for (char digit : text) {
    if (HexValue(digit) < 0) return false;
  }
  return true;
}

constexpr std::array<uint8_t, kKeySize> ParseKey(std::string_view text) {
  std::array<uint8_t, kKeySize> key{};
  for (size_t i = 0; i < kKeySize; ++i) {
    key[i] = static_cast<uint8_t>(HexValue(text[2 * i]) * 16 + HexValue(text[2 * i + 1]));
  }
  return key;
}

constexpr std::string_view kKeyText = VELMORA_ACCESS_KEY_HEX;
static_assert(IsKeyText(kKeyText), "VELMORA_ACCESS_KEY must be 12 hexadecimal digits");
constexpr std::array<uint8_t, kKeySize> kAccessKey = ParseKey(kKeyText);

}  // namespace

const std::array<uint8_t, kKeySize>& AccessKey() { return kAccessKey; }

}  // namespace velmora
