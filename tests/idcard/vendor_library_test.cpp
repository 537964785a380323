// "GETPID" against a vendor library that uses its buffers to the last byte.
// This program defines the nine library functions itself, so the command
// calls these instead of the stand-in it is linked with.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "service/idcard/get_pid_command.h"
#include "service/idcard/zet_idcard_api.h"

namespace {

constexpr int32_t kPort = 1001;
bool gFillPhotoBuffer = false;

void NoTone(uint32_t, uint32_t) {}

}  // namespace

extern "C" {

int32_t Zet_FindUSBReader(void) { return kPort; }
int32_t Zet_SetPhotoPath(int32_t, char*) { return 0; }
int32_t Zet_SetPhotoType(int32_t) { return 0; }
int32_t Zet_SetPhotoName(int32_t) { return 0; }
int32_t Zet_OpenPort(int32_t) { return 0; }
int32_t Zet_StartFindIDCard(int32_t, unsigned char*, int32_t) { return 0; }
int32_t Zet_SelectIDCard(int32_t, unsigned char*, int32_t) { return 0; }

int32_t Zet_ReadMsg(int32_t, int32_t, unsigned char* record) {
  std::memcpy(record, "Name", 4);
  return 0;
}

int32_t Zet_PhotoToStrBase64(char* base64, int32_t* length, char*) {
  if (!gFillPhotoBuffer) return 0;
  // Every byte of the buffer, no terminating zero.
  std::memset(base64, 'Q', ZET_PHOTO_BUFFER_SIZE);
  *length = ZET_PHOTO_BUFFER_SIZE;
  return 0;
}

}  // extern "C"

namespace {

std::string PhotoOf(const duvane::ReplyBody& body) {
  const auto& members = body.Members();
  EXPECT_EQ(members.front().second, "0000");
  EXPECT_EQ(members.back().first, "photo");
  return members.back().second;
}

TEST(GetPidVendorLibrary, PhotoFillingTheWholeBufferIsCutToItsLongestText) {
  gFillPhotoBuffer = true;
  // The buffer holds a zero-terminated text: 8191 characters at most.
  const std::string photo = PhotoOf(duvane::GetPidCommand(NoTone));
  EXPECT_EQ(photo.size(), 8191u);
  EXPECT_EQ(photo.find_first_not_of('Q'), std::string::npos);
}

TEST(GetPidVendorLibrary, PhotoLeftUntouchedIsEmpty) {
  gFillPhotoBuffer = false;
  EXPECT_EQ(PhotoOf(duvane::GetPidCommand(NoTone)), "");
}

}  // namespace
