// What sockets do differently on each system: the error numbers that the log
// shows are the Windows Sockets numbers everywhere, and a listener's address
// reuse means different things.
#pragma once

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

}  // namespace duvane::platform
