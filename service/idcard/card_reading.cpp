#include "service/idcard/card_reading.h"

#include <cstring>
#include <new>
#include <type_traits>

#include "service/idcard/zet_calls.h"

namespace duvane {
namespace {

static_assert(std::is_trivially_copyable_v<CardReading>);

// The library's photo options: where and in which form it keeps the photo.
constexpr int32_t kPhotoPathMode = 1;
constexpr int32_t kPhotoType = 1;
constexpr int32_t kPhotoNameKind = 3;

// Bound once, where the calls run, before the first of them.
ZetCalls gCalls;

bool Prepare(const std::string& libraryFile, std::string& error) {
  return BindZetCalls(libraryFile, gCalls, error);
}

void FindReader(const void*, void* reply, isolation::StepMarks& steps) {
  steps.Mark(kFindUsbReaderStep);
  new (reply) FindReaderReply{gCalls.findUsbReader()};
}

// The calls into the library, in their order. A missing or unselected card
// is not told by the search and select; it shows as a failed record read.
void ReadCard(const void* request, void* reply, isolation::StepMarks& steps) {
  ReadCardRequest received;
  std::memcpy(&received, request, sizeof received);
  const int32_t port = received.port;
  CardReading& reading = *new (reply) CardReading{};
  steps.Mark(kSetPhotoPathStep);
  gCalls.setPhotoPath(kPhotoPathMode, reading.photoPath.data());
  steps.Mark(kSetPhotoTypeStep);
  gCalls.setPhotoType(kPhotoType);
  steps.Mark(kSetPhotoNameStep);
  gCalls.setPhotoName(kPhotoNameKind);
  steps.Mark(kOpenPortStep);
  reading.openResult = gCalls.openPort(port);
  if (reading.openResult != 0) return;
  steps.Mark(kStartFindIdCardStep);
  gCalls.startFindIdCard(port, reading.search.data(), 0);
  steps.Mark(kSelectIdCardStep);
  gCalls.selectIdCard(port, reading.select.data(), 0);
  steps.Mark(kReadMsgStep);
  reading.readStatus = gCalls.readMsg(port, 0, reading.record.data());
  if (reading.readStatus != 0) return;
  reading.recordRead = true;
  char* reference = reinterpret_cast<char*>(reading.record.data() + kPhotoReferenceOffset);
  steps.Mark(kPhotoToStrBase64Step);
  gCalls.photoToStrBase64(reading.photo.data(), &reading.photoLength, reference);
}

constexpr isolation::IsolatedCall kCalls[] = {
    {0, sizeof(FindReaderReply), FindReader},
    {sizeof(ReadCardRequest), sizeof(CardReading), ReadCard},
};

}  // namespace

const isolation::IsolatedWork& IdCardWork() {
  static const isolation::IsolatedWork work{Prepare, kCalls};
  return work;
}

}  // namespace duvane
