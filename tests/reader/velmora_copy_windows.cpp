// Windows: Velmora.dll loaded by its full path and freed again, as a caller
// binds it. Freeing the last reference unloads it, so the next copy starts
// from the state of a library just loaded. Its imports (winscard.dll) are
// found beside the test program first.
#include <windows.h>

#include <cstdlib>

#include "velmora_copy.h"

namespace {

// The build puts the shipped files in bin/ and the test programs in
// test-bin/ beside it.
std::string LibraryPath(std::string& error) {
  char program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string path(program, length);
  const size_t slash = path.find_last_of("\\/");
  if (length == 0 || length >= MAX_PATH || slash == std::string::npos) {
    error = "cannot tell the test program's folder";
    return {};
  }
  return path.substr(0, slash) + "\\..\\bin\\Velmora.dll";
}

}  // namespace

VelmoraCopy::VelmoraCopy(const std::string& tracePath) {
  const std::string path = LibraryPath(error_);
  if (path.empty()) return;
  // The library reads the variable at its first trace line.
  _putenv_s("VELMORA_TRACE", tracePath.c_str());
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error_ = "cannot load " + path + ": error " + std::to_string(GetLastError());
    return;
  }
  handle_ = module;
#define VELMORA_RESOLVE_EXPORT(name)                                                               \
  name = reinterpret_cast<decltype(name)>(reinterpret_cast<void*>(GetProcAddress(module, #name))); \
  if (name == nullptr) error_ += "missing " #name " ";
  VELMORA_EXPORT_LIST(VELMORA_RESOLVE_EXPORT)
#undef VELMORA_RESOLVE_EXPORT
  if (!error_.empty()) {
    FreeLibrary(module);
    handle_ = nullptr;
  }
}

VelmoraCopy::~VelmoraCopy() {
  if (handle_ != nullptr) {
    ReadCard_Exit(0);
    FreeLibrary(static_cast<HMODULE>(handle_));
  }
  _putenv_s("VELMORA_TRACE", "");
}
