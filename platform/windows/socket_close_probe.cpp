#include "platform/windows/socket_close_probe.h"

namespace duvane::platform::windows {
namespace {

int Peek(SOCKET socket) {
  char byte = 0;
  return recv(socket, &byte, 1, MSG_PEEK);
}

}  // namespace

bool PeerHasClosed(SOCKET socket) { return Peek(socket) == 0; }

bool HasUnreadData(SOCKET socket) { return Peek(socket) > 0; }

// A send of no bytes sends nothing, but fails once the connection is reset.
bool WasReset(SOCKET socket) {
  char none = 0;
  return send(socket, &none, 0, 0) == SOCKET_ERROR;
}

}  // namespace duvane::platform::windows
