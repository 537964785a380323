#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace duvane::platform {

void PrepareConsoleOutput() {
  // The messages carry their own CR LF where they have one.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Without a console (output to a file or pipe) the bytes go out unchanged.
  if (GetConsoleWindow() != nullptr) SetConsoleOutputCP(CP_UTF8);
}

}  // namespace duvane::platform
