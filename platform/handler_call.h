// Calling a handler from an event loop: an exception that escapes it is
// reported and the loop goes on, whatever the operating system.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace duvane::platform {

template <typename F>
void CallHandler(const std::function<void(const std::string&)>& onUnhandledError, F&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    onUnhandledError(e.what());
  } catch (...) {
    onUnhandledError("Unknown exception in a socket event handler");
  }
}

}  // namespace duvane::platform
