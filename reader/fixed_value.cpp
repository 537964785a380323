// Exports that the readers' memory cards never needed: kept for hosts that
// bind them, they do no reader work and return fixed values.
#include "velmora.h"

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Request(int32_t, int32_t, unsigned char*) {
  return 0;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Authentication(int32_t, int32_t, int32_t) {
  return -1;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Halt(int32_t) { return -1; }

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Beep(int32_t, int32_t) { return 0; }

extern "C" VELMORA_API int32_t VELMORA_CALL Card_Changeb3(int32_t, int32_t, unsigned char*, int32_t,
                                                          int32_t, int32_t, int32_t, int32_t,
                                                          unsigned char*) {
  return -1;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_ReadBlockInfo(int32_t, int32_t, int32_t,
                                                               unsigned char*) {
  return -1;
}

extern "C" VELMORA_API int32_t VELMORA_CALL Card_WriteBlockInfo(int32_t, int32_t, int32_t,
                                                                unsigned char*) {
  return -1;
}
