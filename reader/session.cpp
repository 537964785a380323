// The session: opening the one reader of a served model, closing it, and
// listing every attached reader.
#include "session.h"

#include <winscard.h>

#include <cstring>
#include <mutex>

#include "pcsc_values.h"
#include "reader_names.h"
#include "session_state.h"
#include "trace.h"
#include "velmora.h"
#include "velmora/pcsc_calls.h"

namespace velmora {
namespace {

// Drops what an earlier session held before a new context is made. The card
// is disconnected while its context still exists, and left as it is.
void CloseBeforeOpen(SessionState& session) {
  if (session.contextHandle == 0) return;
  if (session.connected == 1) SCardDisconnect(session.cardHandle, SCARD_LEAVE_CARD);
  SCardReleaseContext(session.contextHandle);
  session.connected = 0;
  session.readerName.clear();
  session.cardHandle = 0;
  session.contextHandle = 0;
}

bool EstablishContext(SessionState& session) {
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
    return false;
  }
  session.contextHandle = context;
  return true;
}

void ReleaseContext(SessionState& session) {
  SCardReleaseContext(session.contextHandle);
  session.contextHandle = 0;
}

// Every attached reader name; none when the listing fails.
std::vector<std::string> ListReaders(SCARDCONTEXT context) {
  char* multiString = nullptr;
  DWORD length = SCARD_AUTOALLOCATE;
  if (platform::ListReaders(context, reinterpret_cast<LPSTR>(&multiString), &length) !=
      SCARD_S_SUCCESS) {
    return {};
  }
  std::vector<std::string> names = SplitReaderNames(multiString, length);
  SCardFreeMemory(context, multiString);
  return names;
}

// Returns how many attached readers are of a served model; the session keeps
// its fresh context only when that is exactly one.
int32_t FindReader(SessionState& session) {
  CloseBeforeOpen(session);
  if (!EstablishContext(session)) return 0;
  const ReaderMatch match = MatchServedReaders(ListReaders(session.contextHandle));
  if (match.count > 0) session.readerName = match.lastName;
  if (match.count != 1) ReleaseContext(session);
  return match.count;
}

}  // namespace

int32_t OpenSession() {
  SessionState& session = Session();
  if (FindReader(session) != 1) return VELMORA_NO_SINGLE_READER;

  SCARDHANDLE handle = 0;
  DWORD protocol = 0;
  const LONG code =
      platform::Connect(session.contextHandle, session.readerName.c_str(), SCARD_SHARE_EXCLUSIVE,
                        SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &handle, &protocol);
  if (code != SCARD_S_SUCCESS) {
    WriteTrace("SCardConnect失败：" + Hex8(PcscCodeBits(code)));
    return ConnectFailureResult(code);
  }
  session.connected = 1;
  session.cardHandle = handle;
  session.activeProtocol = protocol;
  int32_t unknownFindType = -1;
  CurrentFindType().compare_exchange_strong(unknownFindType, 0);
  return DeviceValueFromHandle(handle);
}

void CloseSession() {
  SessionState& session = Session();
  if (session.contextHandle != 0) {
    if (session.connected == 1) SCardDisconnect(session.cardHandle, SCARD_UNPOWER_CARD);
    SCardReleaseContext(session.contextHandle);
  }
  session.connected = 0;
  session.readerName.clear();
  session.cardHandle = -1;
  session.contextHandle = 0;
}

}  // namespace velmora

using namespace velmora;

extern "C" VELMORA_API int32_t VELMORA_CALL ReadCard_Init(int32_t /*port*/, int32_t /*baud*/) {
  std::lock_guard lock(ReaderLock());
  return OpenSession();
}

// Takes the lock although hosts must not race it against card operations:
// waiting is cheap, and a session torn down under a running exchange is not.
extern "C" VELMORA_API int32_t VELMORA_CALL ReadCard_Exit(int32_t /*device*/) {
  std::lock_guard lock(ReaderLock());
  CloseSession();
  return 0;
}

// The buffer has no size: it must hold every name and separator. A null
// buffer still gets the count and nothing is written.
extern "C" VELMORA_API int32_t VELMORA_CALL EnumerateReaders(char* names) {
  std::lock_guard lock(ReaderLock());
  SessionState& session = Session();
  CloseBeforeOpen(session);
  if (!EstablishContext(session)) return 0;
  const std::vector<std::string> readers = ListReaders(session.contextHandle);
  if (readers.empty()) {
    ReleaseContext(session);
    return 0;
  }
  const std::string joined = JoinReaderNames(readers);
  if (names != nullptr) std::memcpy(names, joined.data(), joined.size());
  return static_cast<int32_t>(readers.size());
}
