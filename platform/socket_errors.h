// Socket error numbers as the log shows them: the Windows Sockets numbers, so
// that the log reads the same on every platform.
#pragma once

#include <string>
#include <string_view>

namespace duvane::platform {

inline constexpr int kWouldBlock = 10035;

// The Windows Sockets number for an errno value of this system (for
// instance ECONNRESET gives 10054); an unknown value is returned unchanged.
int ToWinsockError(int errnoValue);

// "Windows socket error: <system message> (<number>), on API '<call>'".
std::string SocketErrorText(int errnoValue, std::string_view call);

}  // namespace duvane::platform
