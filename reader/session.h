// The session's work, shared by the session exports and the exchange, which
// re-opens the session by itself. Callers hold ReaderLock.
#pragma once

#include <cstdint>

namespace velmora {

// Opens the one attached reader of a served model, after closing what an
// earlier session held: the device value, VELMORA_NO_SINGLE_READER, or the
// PC/SC error of the connect (ReadCard_Init's result).
int32_t OpenSession();

// Closes the session, unpowering the card (ReadCard_Exit's work).
void CloseSession();

}  // namespace velmora
