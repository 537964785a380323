#include <winsock2.h>

#include <string>

#include "platform/sockets.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {

// Windows Sockets report their own numbers already; completions of
// overlapped calls may carry the system's general numbers instead.
int ToWinsockError(int error) {
  switch (error) {
    case ERROR_TOO_MANY_OPEN_FILES:
      return WSAEMFILE;
    case ERROR_NETNAME_DELETED:
      return WSAECONNRESET;
    case ERROR_CONNECTION_ABORTED:
      return WSAECONNABORTED;
    case ERROR_CONNECTION_INVALID:
      return WSAENOTCONN;
    case ERROR_SEM_TIMEOUT:
      return WSAETIMEDOUT;
    default:
      return error;
  }
}

// SO_REUSEADDR here would let a second listener take a port in use.
bool ListenerReusesAddress() { return false; }

// A look that takes nothing: 0 is the end of the stream.
bool PeerClosedBeforeReply(std::uintptr_t socket) {
  char byte = 0;
  return recv(static_cast<SOCKET>(socket), &byte, 1, MSG_PEEK) == 0;
}

// A send of no bytes sends nothing, but fails once the connection is reset.
bool EndOfStreamWasReset(std::uintptr_t socket) {
  char none = 0;
  return send(static_cast<SOCKET>(socket), &none, 0, 0) == SOCKET_ERROR;
}

// The message of the Windows Sockets number, which the log shows beside it.
std::string SocketErrorMessage(int error) {
  const DWORD code = static_cast<DWORD>(ToWinsockError(error));
  return windows::FromWide(windows::SystemMessage(code), windows::kGbk);
}

}  // namespace duvane::platform
