// --trace: the library writes its trace in GBK, which a terminal here does not
// show. The relay points the library's trace at a private file and copies
// what it wrote, in UTF-8, to standard error.
#pragma once

#include <filesystem>
#include <ostream>

namespace velmora_tool {

class TraceRelay {
 public:
  // Sets VELMORA_TRACE; construct before the first call into the library.
  TraceRelay();
  ~TraceRelay();  // removes the file
  TraceRelay(const TraceRelay&) = delete;
  TraceRelay& operator=(const TraceRelay&) = delete;

  // Copies the lines written so far (at most 1 MiB) to `err`.
  void CopyTo(std::ostream& err) const;

 private:
  std::filesystem::path path_;
};

}  // namespace velmora_tool
