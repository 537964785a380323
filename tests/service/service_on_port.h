// Test fixture: the service object on an ephemeral port, in-process, with a
// private log folder and the identity-card stand-in's simulated reader, so
// tests talk to it through real sockets and read its log.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/clock.h"
#include "service/daily_log.h"
#include "service/duvane_service.h"
#include "service/event_loop/event_loop.h"
#include "tests/service/gbk.h"
#include "tests/support/private_host.h"

namespace duvane {

using namespace std::chrono_literals;

using testsupport::ExpectedReply;

inline const std::string kUnknownFoo =
    "{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字FOO\"}";

// Bytes of the photo that the simulated identity-card reader hands out; as
// Base64 they are kPhotoBytes * 4 / 3 letters "A".
inline constexpr size_t kPhotoBytes = 6000;

// Reads what is added to a log file from now on, from where the last look
// stopped.
class LogTail {
 public:
  explicit LogTail(std::string path) : path_(std::move(path)) {
    std::error_code missing;
    const auto size = std::filesystem::file_size(path_, missing);
    offset_ = missing ? 0 : static_cast<size_t>(size);
  }

  // Waits until `text` appears after what the previous call found.
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout = 5s) {
    return Find(text, "", timeout).has_value();
  }

  // Waits for a line holding `label` after what the previous call found and
  // returns the rest of that line.
  std::optional<std::string> WaitForLine(const std::string& label,
                                         std::chrono::milliseconds timeout = 5s) {
    return Find(label, "\r\n", timeout);
  }

 private:
  // What lies between `text` and the next `end` (nothing when `end` is "").
  std::optional<std::string> Find(const std::string& text, const std::string& end,
                                  std::chrono::milliseconds timeout) {
    std::optional<std::string> found;
    testsupport::Eventually(
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

  void ReadMore() {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset_));
    std::string more{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    offset_ += more.size();
    unseen_ += more;
  }

  std::string path_;
  size_t offset_ = 0;
  std::string unseen_;
};

class ServiceOnEphemeralPort : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/duvane-svc-XXXXXX";
    folder_ = std::string(mkdtemp(tmpl)) + "/";
    // Before any thread runs: the stand-in reads its setting at every look-up.
    std::ofstream(folder_ + "photo.bin", std::ios::binary) << std::string(kPhotoBytes, '\0');
    std::ofstream(folder_ + "holder.txt") << "name=x\nphoto=" << folder_ << "photo.bin\n";
    setenv("ZETIDCARD_SIM", (folder_ + "holder.txt").c_str(), 1);
    loop_ = EventLoop::Create([this](const std::string& m) { unhandled_.push_back(m); });
    service_ = std::make_unique<TDuvaneS>(
        ServiceSettings{0, folder_, "libDuvaneTestNoSuchLibrary.so"}, *loop_);
    service_->ServiceStart();
    port_ = loop_->LocalPort();
    ASSERT_NE(port_, 0);
    thread_ = std::thread([this] { loop_->Run(); });
  }

  void TearDown() override {
    if (thread_.joinable()) Stop();
    std::filesystem::remove_all(folder_);
  }

  void Stop() {
    loop_->Post([this] { service_->HandleControl(platform::ServiceControl::Stop); });
    thread_.join();
  }

  void Control(platform::ServiceControl c) {
    loop_->Post([this, c] { service_->HandleControl(c); });
  }

  std::string LogPath() const { return folder_ + LogFileName(platform::NowLocal()); }

  std::string Log() const {
    std::ifstream in(LogPath(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool LogHas(const std::string& gbk, std::chrono::milliseconds timeout = 5s) {
    return testsupport::Eventually([&] { return Log().find(gbk) != std::string::npos; }, timeout);
  }

  // The service's socket of the connection that `log` shows accepted next;
  // -1 when none shows.
  static int NextAcceptedSocket(LogTail& log) {
    std::optional<std::string> id = log.WaitForLine(G("127.0.0.1连入;SocketID = "));
    return id ? std::stoi(*id) : -1;
  }

  std::string folder_;
  std::unique_ptr<EventLoop> loop_;
  std::unique_ptr<TDuvaneS> service_;
  std::vector<std::string> unhandled_;
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace duvane
