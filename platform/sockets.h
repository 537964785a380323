// What sockets do differently on each system, for the service's event loop
// (service/event_loop/, on Asio for both): the error numbers that the log
// shows are the Windows Sockets numbers everywhere, a listener's address
// reuse means different things, and the systems keep the order of a clean
// close and a reset after it differently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace duvane::platform {

// The Windows Sockets number for an error number of this system (for
// instance ECONNRESET gives 10054); an unknown value is returned unchanged.
int ToWinsockError(int systemError);

// "Windows socket error: <system message> (<number>), on API '<call>'".
std::string SocketErrorText(int systemError, std::string_view call);

// Whether the listener asks to reuse its address. On Linux that lets a
// restarted service bind while old connections linger in TIME_WAIT; on
// Windows it would let a second listener take a port in use.
bool ListenerReusesAddress();

// Whether the peer of `socket` has closed its side cleanly and every byte it
// sent was read, looked at just before a reply goes out. Windows reports a
// reset that answers the reply as a reset, hiding the clean close before it,
// so the close must be seen first. Linux keeps the order itself (the end of
// the stream reads before the error, and that reset reads as a broken pipe),
// so it needs no look: false.
bool PeerClosedBeforeReply(std::uintptr_t socket);

// Whether a connection whose receive met the end of the stream was reset
// instead of closed. Linux reports a reset as its error; under Wine a
// receive after a reset may return 0 like a clean close, and only a send
// shows that the connection is gone.
bool EndOfStreamWasReset(std::uintptr_t socket);

}  // namespace duvane::platform
