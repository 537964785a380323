// Looks at a connected socket without taking anything from it, to tell a
// clean close by the peer from a reset.
#pragma once

#include <winsock2.h>

namespace duvane::platform::windows {

// True when the peer has closed its side and every byte it sent was read.
bool PeerHasClosed(SOCKET socket);

// True when bytes are waiting to be read.
bool HasUnreadData(SOCKET socket);

// True when the connection can no longer send, which after a close by the
// peer means that it was reset.
bool WasReset(SOCKET socket);

}  // namespace duvane::platform::windows
