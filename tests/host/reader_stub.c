/*
 * A stand-in for the reader library, built once per variant. STUB_OMIT_<NAME>
 * leaves an export out; STUB_INIT_RESULT is what ReadCard_Init returns.
 *
 * Every call of the four functions that the service calls is appended, with
 * its arguments, to the file named by HOST_STUB_CALL_LOG (when set). The card
 * functions answer from the environment, read at each call:
 *   HOST_STUB_CARD_RESULT  result of Card_ReadCardNo and Card_Init (default 0)
 *   HOST_STUB_CARD_NO      the four number bytes in written order (01020304)
 *   HOST_STUB_SERIAL       the four serial bytes in written order (FFFFFFFF)
 *   HOST_STUB_CARD_TYPE    the card type (8)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "velmora.h"

#ifndef STUB_INIT_RESULT
#define STUB_INIT_RESULT 7
#endif

static void RecordCall(const char* call) {
  const char* path = getenv("HOST_STUB_CALL_LOG");
  if (path == NULL) return;
  FILE* file = fopen(path, "a");
  if (file == NULL) return;
  fprintf(file, "%s\n", call);
  fclose(file);
}

static long EnvNumber(const char* name, long fallback) {
  const char* text = getenv(name);
  return text != NULL ? strtol(text, NULL, 10) : fallback;
}

static void EnvBytes(const char* name, const char* fallback, unsigned char* out) {
  const char* text = getenv(name);
  if (text == NULL || strlen(text) != 8) text = fallback;
  for (int i = 0; i < 4; ++i) {
    char pair[3] = {text[2 * i], text[2 * i + 1], 0};
    out[i] = (unsigned char)strtoul(pair, NULL, 16);
  }
}

#ifndef STUB_OMIT_READCARD_INIT
int32_t ReadCard_Init(int32_t port, int32_t baud) {
  char call[64];
  snprintf(call, sizeof call, "ReadCard_Init %d %d", (int)port, (int)baud);
  RecordCall(call);
  return STUB_INIT_RESULT;
}
#endif

#ifndef STUB_OMIT_READCARD_EXIT
int32_t ReadCard_Exit(int32_t device) {
  char call[64];
  snprintf(call, sizeof call, "ReadCard_Exit %d", (int)device);
  RecordCall(call);
  return 0;
}
#endif

#ifndef STUB_OMIT_CARD_READCARDNO
int32_t Card_ReadCardNo(int32_t device, unsigned char* cardNo) {
  char call[64];
  snprintf(call, sizeof call, "Card_ReadCardNo %d", (int)device);
  RecordCall(call);
  const int32_t result = (int32_t)EnvNumber("HOST_STUB_CARD_RESULT", 0);
  if (result == 0) EnvBytes("HOST_STUB_CARD_NO", "01020304", cardNo);
  return result;
}
#endif

#ifndef STUB_OMIT_CARD_INIT
int32_t Card_Init(int32_t device, unsigned char* serial, unsigned char* cardType) {
  char call[64];
  snprintf(call, sizeof call, "Card_Init %d", (int)device);
  RecordCall(call);
  const int32_t result = (int32_t)EnvNumber("HOST_STUB_CARD_RESULT", 0);
  if (result == 0) {
    EnvBytes("HOST_STUB_SERIAL", "FFFFFFFF", serial);
    *cardType = (unsigned char)EnvNumber("HOST_STUB_CARD_TYPE", 8);
  }
  return result;
}
#endif

/* The rest only has to be there. */

int32_t EnumerateReaders(char* names) {
  (void)names;
  return 0;
}

uint16_t SetFindType(int32_t findType) {
  (void)findType;
  return 0x9000;
}

#ifndef STUB_OMIT_GETPIDSN
uint16_t GetPIDSN(unsigned char* buffer, unsigned char* length) {
  (void)buffer;
  *length = 0;
  return 0x9000;
}
#endif

int32_t Card_GetHardID(unsigned char* buffer) {
  (void)buffer;
  return 0;
}

int32_t Card_Request(int32_t device, int32_t mode, unsigned char* tagType) {
  (void)device, (void)mode, (void)tagType;
  return 0;
}

int32_t Card_Anticoll(int32_t device, int32_t unused, unsigned char* serial) {
  (void)device, (void)unused, (void)serial;
  return 0;
}

int32_t Card_Select(int32_t device, int32_t unused, unsigned char* cardType) {
  (void)device, (void)unused, (void)cardType;
  return 0;
}

int32_t Card_Authentication(int32_t device, int32_t mode, int32_t block) {
  (void)device, (void)mode, (void)block;
  return 0;
}

int32_t Card_LoadKey(int32_t device, int32_t selector1, int32_t selector2,
                     const unsigned char* key) {
  (void)device, (void)selector1, (void)selector2, (void)key;
  return 0;
}

int32_t Card_Read(int32_t device, int32_t block, unsigned char* data) {
  (void)device, (void)block, (void)data;
  return 0;
}

int32_t Card_Write(int32_t device, int32_t block, const unsigned char* data) {
  (void)device, (void)block, (void)data;
  return 0;
}

#ifndef STUB_OMIT_CARD_HALT
int32_t Card_Halt(int32_t device) {
  (void)device;
  return 0;
}
#endif

int32_t Card_Beep(int32_t device, int32_t duration) {
  (void)device, (void)duration;
  return 0;
}

int32_t Card_Changeb3(int32_t device, int32_t sector, unsigned char* keyA, int32_t b0, int32_t b1,
                      int32_t b2, int32_t b3, int32_t bk, unsigned char* keyB) {
  (void)device, (void)sector, (void)keyA, (void)b0, (void)b1, (void)b2, (void)b3, (void)bk,
      (void)keyB;
  return 0;
}

int32_t Card_ReadBlockInfo(int32_t device, int32_t block, int32_t mode, unsigned char* data) {
  (void)device, (void)block, (void)mode, (void)data;
  return 0;
}

int32_t Card_WriteBlockInfo(int32_t device, int32_t block, int32_t mode, unsigned char* data) {
  (void)device, (void)block, (void)mode, (void)data;
  return 0;
}

int32_t Card_Increment(int32_t device, int32_t block, int32_t value) {
  (void)device, (void)block, (void)value;
  return 0;
}

int32_t Card_Decrement(int32_t device, int32_t block, int32_t value) {
  (void)device, (void)block, (void)value;
  return 0;
}

int32_t Card_BlockCopy(int32_t device, int32_t firstBlock, int32_t secondBlock) {
  (void)device, (void)firstBlock, (void)secondBlock;
  return 0;
}

int32_t Card_Transfer(int32_t device) {
  (void)device;
  return 0;
}

int32_t Card_CreditLoad(int32_t device, int32_t block, int32_t value) {
  (void)device, (void)block, (void)value;
  return 0;
}

int32_t Card_DebitLoad(int32_t device, int32_t block, int32_t value) {
  (void)device, (void)block, (void)value;
  return 0;
}

uint16_t CPUCard_Reset(unsigned char* buffer, unsigned char* length) {
  (void)buffer;
  *length = 0;
  return 0x9000;
}

uint16_t CPUCard_RunApdu(const unsigned char* apdu, int32_t apduLength, unsigned char* answer,
                         unsigned char* answerLength) {
  (void)apdu, (void)apduLength, (void)answer;
  *answerLength = 0;
  return 0x9000;
}
