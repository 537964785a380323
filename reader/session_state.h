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

// Serialises session opening and every command exchange. Recursive because
// the exchange re-opens the session while it holds the lock.
platform::RecursiveLock& ReaderLock();

// Read and written only while ReaderLock is held.
SessionState& Session();

// The find type the reader is known to use: -1 until the first connection.
// Card operations read and set it between exchanges, outside the lock.
std::atomic<int32_t>& CurrentFindType();

}  // namespace velmora
