#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/host.h"
#include "platform/windows/wide_text.h"

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

// UTF-8, like every path the service handles.
std::string ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  // Paths may be longer than MAX_PATH; the longest Windows takes is 32767.
  while (path.size() <= 32768) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return windows::WideToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
  return {};
}

const char* const kFolderSeparators = "\\/";
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
