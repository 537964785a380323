#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/host.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {
namespace {

bool HasFolder(const std::string& fileName) {
  return fileName.find_first_of("\\/") != std::string::npos;
}

std::string LoadError(DWORD error) {
  const std::string message = windows::WideToUtf8(windows::SystemMessage(error));
  return message.empty() ? "cannot load the library (" + std::to_string(error) + ")" : message;
}

}  // namespace

// A bare name is loaded from the program's own folder and from nowhere else:
// the system's search would also try the current folder and PATH, where
// anybody may have put a file of that name.
LoadedLibrary LoadDynamicLibrary(const std::string& fileName) {
  if (fileName.empty()) return {nullptr, "empty library name"};
  std::string path = fileName;
  if (!HasFolder(fileName)) {
    const std::string folder = ExecutableFolder();
    if (folder.empty()) return {nullptr, "the program's folder is not known"};
    path = folder + "\\" + fileName;
  }
  // The wide call, so that a folder name outside the ANSI code page loads too.
  HMODULE module = LoadLibraryW(windows::Utf8ToWide(path).c_str());
  if (module == nullptr) return {nullptr, LoadError(GetLastError())};
  return {module, {}};
}

void* FindSymbol(ModuleHandle library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string UnloadDynamicLibrary(ModuleHandle library) {
  if (library == nullptr) return "no library is loaded";
  if (!FreeLibrary(static_cast<HMODULE>(library))) return LoadError(GetLastError());
  return {};
}

}  // namespace duvane::platform
