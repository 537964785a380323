// The whole read handler on arbitrary received bytes: decoding, conversion,
// parsing, the daily log and the framing of the reply.
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "service/daily_log.h"
#include "service/request_handler.h"

namespace {

// The log goes to a private folder that is emptied now and then, so a long
// run cannot fill the disk.
class ScratchLog {
 public:
  ScratchLog() {
    char folder[] = "/tmp/duvane-fuzz-log-XXXXXX";
    folder_ = mkdtemp(folder) != nullptr ? std::string(folder) + "/" : "/tmp/duvane-fuzz-log/";
    log_.emplace(folder_);
  }
  ~ScratchLog() { std::filesystem::remove_all(folder_); }

  const duvane::DailyLog& Log() {
    if (++calls_ % 512 == 0) Empty();
    return *log_;
  }

 private:
  void Empty() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
      std::filesystem::remove(entry.path(), ec);
    }
  }

  std::string folder_;
  std::optional<duvane::DailyLog> log_;
  unsigned calls_ = 0;
};

// Stands in for the card commands: no hardware, one of them fails the way a
// command may (with the service's own error), so that path is fuzzed too.
duvane::ReplyBody RunCommand(size_t index) {
  if (index == 1) throw duvane::ServiceError("command failed");
  return duvane::ReplyBody("0000", "OK").Add("Index", std::to_string(index));
}

// The reply must be a header block whose Content-Length counts the body.
void CheckReply(const std::string& reply) {
  static const std::string kStatus = "HTTP/1.1 200 OK \r\n";
  static const std::string kLength = "Content-Length: ";
  if (reply.compare(0, kStatus.size(), kStatus) != 0) std::abort();
  size_t end = reply.find(" \r\n\r\n");
  size_t at = reply.find(kLength);
  if (end == std::string::npos || at == std::string::npos || at > end) std::abort();
  size_t length = std::strtoul(reply.c_str() + at + kLength.size(), nullptr, 10);
  if (reply.size() - (end + 5) != length) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchLog scratch;
  // One receive reads at most one working buffer's worth.
  if (size > duvane::kWorkingBufferSize) size = duvane::kWorkingBufferSize;
  const std::string received(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> reply =
      duvane::ServerSocket1ClientRead(received, 7, scratch.Log(), RunCommand);
  if (reply) CheckReply(*reply);
  return 0;
}
