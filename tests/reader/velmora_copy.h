// A private copy of libVelmora.so, loaded with dlopen: its process-wide state
// is that of a library just loaded (no session, find type unknown), whatever
// earlier tests of the process did.
#pragma once

#include <string>

#include "velmora.h"
#include "velmora_exports.h"

class VelmoraCopy {
 public:
  // With a trace path, the copy's trace lines go to that file.
  explicit VelmoraCopy(const std::string& tracePath = "");
  ~VelmoraCopy();
  VelmoraCopy(const VelmoraCopy&) = delete;
  VelmoraCopy& operator=(const VelmoraCopy&) = delete;

  // False (with the reason in Error()) when the copy could not be loaded.
  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }

#define VELMORA_DECLARE_EXPORT(name) decltype(&::name) name = nullptr;
  VELMORA_EXPORT_LIST(VELMORA_DECLARE_EXPORT)
#undef VELMORA_DECLARE_EXPORT

 private:
  std::string folder_;
  std::string error_;
  void* handle_ = nullptr;
};
