#include <string>

#include "platform/socket_errors.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {

// Windows Sockets report their own numbers already.
int ToWinsockError(int error) { return error; }

// The system's message is in code page 936, like the log it goes to.
std::string SocketErrorText(int error, std::string_view call) {
  const std::string message =
      windows::FromWide(windows::SystemMessage(static_cast<DWORD>(error)), windows::kGbk);
  return "Windows socket error: " + message + " (" + std::to_string(error) + "), on API '" +
         std::string(call) + "'";
}

}  // namespace duvane::platform
