// The two PC/SC calls whose names differ between the systems: Windows has an
// ANSI and a wide form of each (the library uses the ANSI ones, since reader
// names are ANSI text), pcsc-lite has only the one form. The types are those
// of the system's <winscard.h>; narrowing them is pcsc_values' job.
#pragma once

#include <winscard.h>

namespace velmora::platform {

// SCardListReadersA with no group list (all readers).
LONG ListReaders(SCARDCONTEXT context, LPSTR readers, LPDWORD length);

// SCardConnectA.
LONG Connect(SCARDCONTEXT context, const char* reader, DWORD shareMode, DWORD preferredProtocols,
             SCARDHANDLE* card, DWORD* activeProtocol);

}  // namespace velmora::platform
