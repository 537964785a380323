#include <dlfcn.h>
#include <unistd.h>

#include "platform/dynamic_library.h"
#include "platform/host.h"

namespace duvane::platform {
namespace {

std::string LastLoaderError(const char* fallback) {
  const char* message = ::dlerror();
  return message != nullptr ? message : fallback;
}

LoadedLibrary Open(const std::string& path) {
  ::dlerror();  // forget an error left over from an earlier call
  LoadedLibrary result;
  result.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (result.handle == nullptr) result.error = LastLoaderError("cannot load the library");
  return result;
}

// The copy next to the running program, or "" when there is none.
std::string BesideProgram(const std::string& fileName) {
  const std::string folder = ExecutableFolder();
  if (folder.empty()) return {};
  std::string path = folder + "/" + fileName;
  return ::access(path.c_str(), F_OK) == 0 ? path : std::string();
}

}  // namespace

LoadedLibrary LoadDynamicLibrary(const std::string& fileName) {
  if (fileName.empty()) return {nullptr, "empty library name"};
  if (fileName.find('/') != std::string::npos) return Open(fileName);
  const std::string beside = BesideProgram(fileName);
  return Open(beside.empty() ? fileName : beside);
}

void* FindSymbol(ModuleHandle library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return ::dlsym(library, name);
}

std::string UnloadDynamicLibrary(ModuleHandle library) {
  if (library == nullptr) return "no library is loaded";
  ::dlerror();
  if (::dlclose(library) != 0) return LastLoaderError("cannot unload the library");
  return {};
}

}  // namespace duvane::platform
