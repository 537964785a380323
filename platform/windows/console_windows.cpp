#include <windows.h>

#include "platform/console.h"

namespace duvane::platform {

void UseUtf8Console() {
  // Without a console (output to a file or pipe) the bytes go out unchanged.
  if (GetConsoleWindow() != nullptr) SetConsoleOutputCP(CP_UTF8);
}

}  // namespace duvane::platform
