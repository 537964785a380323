#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/host.h"

namespace duvane::platform {
namespace {

UINT codePageBefore = 0;

// The console's code page belongs to the window the user typed the command
// in, and outlives this program: what the user runs there next expects the
// code page it had.
void RestoreConsoleCodePage() {
  std::fflush(stdout);
  std::fflush(stderr);
  SetConsoleOutputCP(codePageBefore);
}

}  // namespace

const char* const kLogFolder = "C:\\";
const char* const kReaderLibraryFile = "Velmora.dll";
const char* const kIdCardLibraryFile = "ZetIDCardAPI.dll";
const char* const kIdCardHelperFile = "";
const char* const kServiceRegistry = "";

void PrepareConsoleOutput() {
  // The messages carry their own CR LF where they have one.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Without a console (output to a file or pipe) the bytes go out unchanged.
  if (GetConsoleWindow() == nullptr || codePageBefore != 0) return;
  codePageBefore = GetConsoleOutputCP();
  if (codePageBefore != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    std::atexit(RestoreConsoleCodePage);
  }
}

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
  const DWORD started = GetTickCount();
  ::Beep(frequencyHz, durationMs);
  // Where no sound device plays the tone, Beep may return at once; callers
  // rely on the pause.
  const DWORD elapsed = GetTickCount() - started;
  if (elapsed < durationMs) Sleep(durationMs - elapsed);
}

}  // namespace duvane::platform
