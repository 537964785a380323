// pcsc-lite on 64-bit Linux widens LONG, DWORD and the handles to 64 bits,
// while the library's callers see the 32-bit values that PC/SC defines (an
// error such as 0x8010000C is a negative int32_t). Every narrowing of a PC/SC
// value happens here.
#pragma once

#include <winscard.h>

#include <cstdint>

namespace velmora {

// The low 32 bits of a PC/SC code, as the trace lines print them.
uint32_t PcscCodeBits(LONG code);

// What ReadCard_Init returns for a failed connect: the code read as a signed
// 32-bit number. A code that would not read as negative (none of pcsc-lite's
// does) becomes -1, so a failure can never pass for a device value.
int32_t ConnectFailureResult(LONG code);

// The device value of an open connection: the absolute value of the handle's
// low 32 bits read as signed. Callers count 1 or more as connected, so the
// two handles whose absolute value is not at least 1 are mapped: 0 gives 1
// and INT32_MIN gives INT32_MAX. The value is opaque to every caller.
int32_t DeviceValueFromHandle(SCARDHANDLE handle);

}  // namespace velmora
