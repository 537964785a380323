#include "velmora_copy.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

VelmoraCopy::VelmoraCopy(const std::string& tracePath) {
  char folderTemplate[] = "/tmp/velmora-copy-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    error_ = "cannot make a folder for the copy";
    return;
  }
  folder_ = folderTemplate;
  const std::string copy = folder_ + "/libVelmora.so";
  std::error_code failure;
  std::filesystem::copy_file(VELMORA_LIBRARY_PATH, copy, failure);
  if (failure) {
    error_ = "cannot copy " VELMORA_LIBRARY_PATH ": " + failure.message();
    return;
  }
  // The copy reads the variable at its first trace line; it stays set until
  // the copy is gone.
  if (tracePath.empty()) {
    unsetenv("VELMORA_TRACE");
  } else {
    setenv("VELMORA_TRACE", tracePath.c_str(), 1);
  }
  handle_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_ = dlerror();
    return;
  }
#define VELMORA_RESOLVE_EXPORT(name)                              \
  name = reinterpret_cast<decltype(name)>(dlsym(handle_, #name)); \
  if (name == nullptr) error_ += "missing " #name " ";
  VELMORA_EXPORT_LIST(VELMORA_RESOLVE_EXPORT)
#undef VELMORA_RESOLVE_EXPORT
  if (!error_.empty()) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

VelmoraCopy::~VelmoraCopy() {
  if (handle_ != nullptr) {
    ReadCard_Exit(0);
    dlclose(handle_);
  }
  unsetenv("VELMORA_TRACE");
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}
