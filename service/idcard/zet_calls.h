// The nine functions of the identity-card library as one table, and the
// steps of a read that call them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zet_idcard_api.h"

namespace duvane {

struct ZetCalls {
  decltype(&Zet_FindUSBReader) findUsbReader = nullptr;
  decltype(&Zet_SetPhotoPath) setPhotoPath = nullptr;
  decltype(&Zet_SetPhotoType) setPhotoType = nullptr;
  decltype(&Zet_SetPhotoName) setPhotoName = nullptr;
  decltype(&Zet_OpenPort) openPort = nullptr;
  decltype(&Zet_StartFindIDCard) startFindIdCard = nullptr;
  decltype(&Zet_SelectIDCard) selectIdCard = nullptr;
  decltype(&Zet_ReadMsg) readMsg = nullptr;
  decltype(&Zet_PhotoToStrBase64) photoToStrBase64 = nullptr;
};

// One step for each function, in the order in which a read calls them.
enum ZetStep : uint8_t {
  kFindUsbReaderStep,
  kSetPhotoPathStep,
  kSetPhotoTypeStep,
  kSetPhotoNameStep,
  kOpenPortStep,
  kStartFindIdCardStep,
  kSelectIdCardStep,
  kReadMsgStep,
  kPhotoToStrBase64Step,
  kZetStepCount,
};

// The function's name, as the system log names the step; "" for no step.
std::string_view ZetStepName(int step);

// Binds the nine functions: on Windows those the program imports, on Linux
// those of the library `libraryFile` loaded in the helper process. False with
// the reason in `error` when the library or one of its functions is missing.
bool BindZetCalls(const std::string& libraryFile, ZetCalls& calls, std::string& error);

}  // namespace duvane
