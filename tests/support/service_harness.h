// Test support: a running service, whichever way a test started it (the
// service object in-process, the real program in a private host, or the
// Windows program under Wine's service control manager). Tests talk to it
// over real sockets, read its daily log, pause, continue and stop it the
// same way for each; the backends (in_process_service.h,
// service_program.h, wine_service.h) differ only in how they do it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "tests/support/private_host.h"

namespace testsupport {

// The fixed port of the real programs.
inline constexpr uint16_t kServicePort = 10240;

// A request for `command` (path and query, without the leading "/") with a
// small header block.
inline std::string Request(const std::string& command) {
  return "GET /" + command + " HTTP/1.1\r\nHost: 127.0.0.1:10240\r\n\r\n";
}

// The "ResultCode" of a reply, or "" when there is none.
std::string ResultCode(const std::string& reply);

// Sends one request for `command` on `client` and waits for its reply.
inline std::optional<std::string> Ask(Client& client, const std::string& command,
                                      std::chrono::milliseconds timeout = 10s) {
  client.Send(Request(command));
  return client.ReadReply(timeout);
}

class ServiceUnderTest {
 public:
  virtual ~ServiceUnderTest() = default;

  virtual uint16_t Port() const = 0;
  // Today's daily log file.
  virtual std::string LogPath() const = 0;
  // Each returns once the service reports the new state; false when it
  // does not.
  virtual bool Pause() = 0;
  virtual bool Continue() = 0;
  // Runs the stop sequence; true when the service ended as it should.
  virtual bool Stop() = 0;

  // Today's log (GBK, CR LF), "" when there is none yet.
  std::string Log() const { return ReadWholeFile(LogPath()); }
  // Waits until the log holds `bytes`.
  bool LogHas(const std::string& bytes, std::chrono::milliseconds timeout = 10s) const;
  // The body of the reply to `command` on a connection of its own, or
  // "(no reply)". A command without a query gets "?x": the service answers
  // only request lines that have one.
  std::string Body(const std::string& command);
};

// Reads what is added to a log file from now on, from where the last look
// stopped.
class LogTail {
 public:
  explicit LogTail(std::string path);
  explicit LogTail(const ServiceUnderTest& service) : LogTail(service.LogPath()) {}

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
                                  std::chrono::milliseconds timeout);
  void ReadMore();

  std::string path_;
  size_t offset_ = 0;
  std::string unseen_;
};

}  // namespace testsupport
