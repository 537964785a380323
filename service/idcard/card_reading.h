// The work of one "GETPID" inside the identity-card library, as two calls
// that run wherever the library's code runs (isolation/isolated_work.h): the
// reader look-up, and the card read from setting the photo options to the
// photo. Requests and replies are plain fixed-size records, so they can
// cross into another process as they are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "isolation/isolated_work.h"
#include "service/idcard/holder_record.h"

namespace duvane {

inline constexpr std::size_t kPhotoPathSize = 256;
inline constexpr std::size_t kCardSearchSize = 4;
inline constexpr std::size_t kCardSelectSize = 8;

// The calls of IdCardWork, by index.
enum IdCardCall : std::size_t { kFindReaderCall, kReadCardCall };

struct FindReaderReply {
  int32_t port = 0;  // 0: no reader
};

struct ReadCardRequest {
  int32_t port = 0;
};

// Everything the card read hands to the library or gets from it.
struct CardReading {
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

// The two calls; the argument of their preparation is the library's file
// name.
const isolation::IsolatedWork& IdCardWork();

}  // namespace duvane
