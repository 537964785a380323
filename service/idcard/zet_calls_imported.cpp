// Windows: the program imports the library, so the system loaded it with
// the program and refuses to start the program without it.
#include "service/idcard/zet_calls.h"

namespace duvane {

bool BindZetCalls(const std::string&, ZetCalls& calls, std::string&) {
  calls = ZetCalls{&Zet_FindUSBReader, &Zet_SetPhotoPath, &Zet_SetPhotoType,
                   &Zet_SetPhotoName,  &Zet_OpenPort,     &Zet_StartFindIDCard,
                   &Zet_SelectIDCard,  &Zet_ReadMsg,      &Zet_PhotoToStrBase64};
  return true;
}

}  // namespace duvane
