// The two PC/SC calls whose names differ between the systems: the library
// uses Windows' ANSI forms (reader names are ANSI text); pcsc-lite has only
// the one form.
#pragma once

#include <winscard.h>

namespace velmora::platform {

// SCardListReadersA with no group list (all readers).
LONG ListReaders(SCARDCONTEXT context, LPSTR readers, LPDWORD length);

// SCardConnectA.
LONG Connect(SCARDCONTEXT context, const char* reader, DWORD shareMode, DWORD preferredProtocols,
             SCARDHANDLE* card, DWORD* activeProtocol);

}  // namespace velmora::platform
