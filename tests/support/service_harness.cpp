#include "tests/support/service_harness.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace testsupport {

std::string ResultCode(const std::string& reply) {
  const std::string key = "\"ResultCode\":\"";
  size_t at = reply.find(key);
  return at == std::string::npos ? "" : reply.substr(at + key.size(), 4);
}

bool ServiceUnderTest::LogHas(const std::string& bytes, std::chrono::milliseconds timeout) const {
  return Eventually([&] { return Log().find(bytes) != std::string::npos; }, timeout);
}

std::string ServiceUnderTest::Body(const std::string& command) {
  Client client(Port());
  const auto reply = Ask(client, command.find('?') == std::string::npos ? command + "?x" : command);
  return reply ? BodyOf(*reply) : "(no reply)";
}

LogTail::LogTail(std::string path) : path_(std::move(path)) {
  std::error_code missing;
  const auto size = std::filesystem::file_size(path_, missing);
  offset_ = missing ? 0 : static_cast<size_t>(size);
}

std::optional<std::string> LogTail::Find(const std::string& text, const std::string& end,
                                         std::chrono::milliseconds timeout) {
  std::optional<std::string> found;
  Eventually(
      [&] {
        ReadMore();
        size_t at = unseen_.find(text);
        if (at == std::string::npos) return false;
        at += text.size();
        size_t stop = end.empty() ? at : unseen_.find(end, at);
        if (stop == std::string::npos) return false;
        found = unseen_.substr(at, stop - at);
        unseen_.erase(0, stop + end.size());
        return true;
      },
      timeout);
  return found;
}

void LogTail::ReadMore() {
  std::ifstream in(path_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset_));
  std::string more{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  offset_ += more.size();
  unseen_ += more;
}

}  // namespace testsupport
