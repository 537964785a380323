#include <windows.h>

#include "platform/process_info.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {

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

}  // namespace duvane::platform
