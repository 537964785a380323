// What sockets do differently on each system, for the service's event loop
// (service/event_loop/, on Asio for both).
#pragma once

#include <cstdint>
#include <string>

namespace duvane::platform {

// The Windows Sockets number for an error number of this system (for
// instance ECONNRESET gives 10054); an unknown value is returned unchanged.
int ToWinsockError(int systemError);

// The system's message for an error number of this system, in the log's code
// page.
std::string SocketErrorMessage(int systemError);

// Whether the listener asks to reuse its address. On Linux that lets a
// restarted service bind while old connections linger in TIME_WAIT; on
// Windows it would let a second listener take a port in use.
bool ListenerReusesAddress();

// Whether the peer of `socket` has closed its side cleanly and every byte it
// sent was read, looked at just before a reply goes out. Windows reports the
// reset that answers the reply, hiding the clean close before it; Linux keeps
// the order itself (the reset reads as a broken pipe), so there it is false.
bool PeerClosedBeforeReply(std::uintptr_t socket);

// Whether a connection whose receive met the end of the stream was reset
// instead of closed. Linux reports a reset as its error; under Wine a
// receive after a reset may return 0 like a clean close, and only a send
// shows that the connection is gone.
bool EndOfStreamWasReset(std::uintptr_t socket);

}  // namespace duvane::platform
