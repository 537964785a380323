#include <windows.h>

#include "platform/files.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {
namespace {

// Others may read, move or delete the file between two lines, and the next
// line then creates it again.
HANDLE OpenForAppend(const std::wstring& path) {
  return CreateFileW(path.c_str(), FILE_APPEND_DATA,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void MakeFolders(const std::wstring& path) {
  for (size_t separator = path.find_first_of(L"\\/", 3); separator != std::wstring::npos;
       separator = path.find_first_of(L"\\/", separator + 1)) {
    CreateDirectoryW(path.substr(0, separator).c_str(), nullptr);
  }
}

// The bytes are written unchanged: the log's lines carry their CR LF already.
bool AppendOnce(const std::string& path, std::string_view bytes) {
  const std::wstring widePath = windows::Utf8ToWide(path);
  HANDLE file = OpenForAppend(widePath);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    MakeFolders(widePath);
    file = OpenForAppend(widePath);
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 1u << 30 ? 1u << 30 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    bytes.remove_prefix(written);
  }
  CloseHandle(file);
  return ok;
}

// The file is opened and closed for every line, so nothing is held between
// lines and others may move or delete it at any time.
class PerLineFileAppender final : public FileAppender {
 public:
  bool Append(const std::string& path, std::string_view bytes) override {
    return AppendOnce(path, bytes);
  }
  void Release() override {}
};

}  // namespace

std::unique_ptr<FileAppender> FileAppender::Create() {
  return std::make_unique<PerLineFileAppender>();
}

}  // namespace duvane::platform
