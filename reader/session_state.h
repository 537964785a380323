// The one reader session of the process and its lock. Everything here lives
// in static storage from load to unload; nothing is handed to callers.
#pragma once

#include <winscard.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "velmora/recursive_lock.h"

namespace velmora {

struct SessionState {
  std::string readerName;  // full PC/SC name of the selected reader
  uint8_t connected = 0;   // 1 while a card connection is open
  SCARDHANDLE cardHandle = 0;
  DWORD activeProtocol = 0;  // SCARD_PROTOCOL_T0 or SCARD_PROTOCOL_T1
  SCARDCONTEXT contextHandle = 0;
};

// Serialises the session exports and every command exchange, re-opens
// included. The thread that holds it may take it again, as a critical section
// allows; the library itself never does, since the exchange re-opens the
// session through session.h under the lock it already holds.
platform::RecursiveLock& ReaderLock();

// Read and written only while ReaderLock is held.
SessionState& Session();

// The find type the reader is known to use: -1 until the first connection.
// Card operations read and set it between exchanges, outside the lock.
std::atomic<int32_t>& CurrentFindType();

}  // namespace velmora
