#include "velmora/pcsc_calls.h"

namespace velmora::platform {

LONG ListReaders(SCARDCONTEXT context, LPSTR readers, LPDWORD length) {
  return SCardListReadersA(context, nullptr, readers, length);
}

LONG Connect(SCARDCONTEXT context, const char* reader, DWORD shareMode, DWORD preferredProtocols,
             SCARDHANDLE* card, DWORD* activeProtocol) {
  return SCardConnectA(context, reader, shareMode, preferredProtocols, card, activeProtocol);
}

}  // namespace velmora::platform
