#include "card_number.h"

#include <cstring>

#include "access_key.h"
#include "memory_card.h"
#include "reader_command.h"
#include "velmora.h"
#include "velmora/md5_digest.h"

namespace velmora {
namespace {

constexpr char kCheckWord[] = "Tarnwick";
// The key selectors of the card-number key.
constexpr int32_t kKeySelector1 = 0;
constexpr int32_t kKeySelector2 = 1;
constexpr int32_t kNumberBlock = 1;
constexpr int32_t kCheckBlock = 2;
constexpr size_t kNumberOffset = 2;

bool CheckValueMatches(const uint8_t* number, const uint8_t* checkBlock) {
  const auto message = CheckMessage(number);
  uint8_t digest[platform::kMd5Size]{};
  if (!platform::Md5(message.data(), message.size(), digest)) return false;
  return std::memcmp(digest, checkBlock, platform::kMd5Size) == 0;
}

}  // namespace

std::array<uint8_t, kCheckMessageSize> CheckMessage(const uint8_t* number) {
  std::array<uint8_t, kCheckMessageSize> message{};
  for (size_t i = 0; i < kCardNumberSize; ++i) {
    message[i] = number[i];
    message[kCardNumberSize + i] = static_cast<uint8_t>(number[i] ^ 0xFF);
  }
  std::memcpy(message.data() + 2 * kCardNumberSize, kCheckWord, sizeof kCheckWord - 1);
  return message;
}

}  // namespace velmora

using namespace velmora;

// A null `cardNo` is refused like a failed Card_Init, before anything is
// sent. A digest that the system cannot compute counts as a mismatch.
extern "C" VELMORA_API int32_t VELMORA_CALL Card_ReadCardNo(int32_t /*device*/,
                                                            unsigned char* cardNo) {
  if (cardNo == nullptr) return VELMORA_CARDNO_INIT_FAILED;
  CardIdentity identity;
  if (InitCard(identity) != 0) return VELMORA_CARDNO_INIT_FAILED;
  if (LoadKey(kKeySelector1, kKeySelector2, AccessKey().data()) != 0) {
    return VELMORA_CARDNO_KEY_FAILED;
  }
  uint8_t numberBlock[kBlockSize]{};
  if (ReadBlock(kNumberBlock, numberBlock) != 0) return VELMORA_CARDNO_NUMBER_FAILED;
  uint8_t checkBlock[kBlockSize]{};
  if (ReadBlock(kCheckBlock, checkBlock) != 0) return VELMORA_CARDNO_CHECK_FAILED;
  if (!CheckValueMatches(numberBlock + kNumberOffset, checkBlock)) return VELMORA_CARDNO_MISMATCH;
  std::memcpy(cardNo, numberBlock + kNumberOffset, kCardNumberSize);
  return 0;
}
