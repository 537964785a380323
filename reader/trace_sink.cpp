#include "trace_sink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/codepage.h"

namespace velmora {
namespace {

class TraceSink {
 public:
  TraceSink() {
    const char* target = std::getenv("VELMORA_TRACE");
    if (target == nullptr || *target == '\0') return;
    if (std::strcmp(target, "stderr") == 0) {
      file_ = stderr;
    } else {
      file_ = std::fopen(target, "ab");
      ownsFile_ = file_ != nullptr;
    }
  }
  ~TraceSink() {
    if (ownsFile_) std::fclose(file_);
  }
  TraceSink(const TraceSink&) = delete;
  TraceSink& operator=(const TraceSink&) = delete;

  void Write(std::string_view utf8Line) {
    if (file_ == nullptr) return;
    std::lock_guard lock(mutex_);
    const std::string line = duvane::platform::Utf8ToAnsi(utf8Line);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
};

TraceSink& Sink() {
  static TraceSink sink;
  return sink;
}

}  // namespace

void TraceSinkWrite(std::string_view utf8Line) { Sink().Write(utf8Line); }

}  // namespace velmora
