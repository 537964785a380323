#include "trace_sink.h"

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

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
      file_ = std::fopen(target, "a");
      ownsFile_ = file_ != nullptr;
    }
    if (file_ != nullptr) toGbk_ = iconv_open("GBK", "UTF-8");
  }
  ~TraceSink() {
    if (toGbk_ != reinterpret_cast<iconv_t>(-1)) iconv_close(toGbk_);
    if (ownsFile_) std::fclose(file_);
  }
  TraceSink(const TraceSink&) = delete;
  TraceSink& operator=(const TraceSink&) = delete;

  void Write(std::string_view utf8Line) {
    if (file_ == nullptr) return;
    std::lock_guard lock(mutex_);
    const std::string line = ToGbk(utf8Line);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }

 private:
  // Falls back to the UTF-8 text when the converter is missing or a line
  // cannot be converted: a diagnostic line is better garbled than lost.
  std::string ToGbk(std::string_view utf8) {
    if (toGbk_ == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
    std::string input(utf8);
    std::string output(input.size() * 2 + 4, '\0');
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    iconv(toGbk_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(toGbk_, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
      return std::string(utf8);
    }
    output.resize(output.size() - outLeft);
    return output;
  }

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  iconv_t toGbk_ = reinterpret_cast<iconv_t>(-1);
};

TraceSink& Sink() {
  static TraceSink sink;
  return sink;
}

}  // namespace

void TraceSinkWrite(std::string_view utf8Line) { Sink().Write(utf8Line); }

}  // namespace velmora
