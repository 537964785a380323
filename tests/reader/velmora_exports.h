// The 28 exports of the library, for tests that resolve them one by one:
// X(name) for each.
#pragma once

#define VELMORA_EXPORT_LIST(X) \
  X(ReadCard_Init)             \
  X(ReadCard_Exit)             \
  X(EnumerateReaders)          \
  X(SetFindType)               \
  X(GetPIDSN)                  \
  X(Card_GetHardID)            \
  X(Card_Init)                 \
  X(Card_Request)              \
  X(Card_Anticoll)             \
  X(Card_Select)               \
  X(Card_Authentication)       \
  X(Card_LoadKey)              \
  X(Card_Read)                 \
  X(Card_Write)                \
  X(Card_Halt)                 \
  X(Card_Beep)                 \
  X(Card_Changeb3)             \
  X(Card_ReadBlockInfo)        \
  X(Card_WriteBlockInfo)       \
  X(Card_Increment)            \
  X(Card_Decrement)            \
  X(Card_BlockCopy)            \
  X(Card_Transfer)             \
  X(Card_CreditLoad)           \
  X(Card_DebitLoad)            \
  X(Card_ReadCardNo)           \
  X(CPUCard_Reset)             \
  X(CPUCard_RunApdu)
