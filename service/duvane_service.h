// The service object: owns the listener and the reader binding, carries out
// the start and stop sequences and the control requests, and handles every
// connection event. Everything here runs on the one service thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/service_manager.h"
#include "service/daily_log.h"
#include "service/event_loop/event_loop.h"
#include "service/idcard/idcard_library.h"
#include "service/reader_library.h"
#include "service/reply_body.h"

namespace duvane {

struct ServiceSettings {
  uint16_t port;
  std::string logFolder;          // ends with the folder separator
  std::string readerLibraryFile;  // loaded from the program's own folder
  IdCardSettings idCard{};
};

class TDuvaneS final : public ConnectionHandler {
 public:
  TDuvaneS(ServiceSettings settings, EventLoop& loop);

  // Never fails the start: listener, library and reader problems are logged.
  void ServiceStart();
  void ServiceStop();
  // Carries out one control request; the loop ends after a stop or a
  // shutdown.
  void HandleControl(platform::ServiceControl control);

  const DailyLog& Log() const { return log_; }
  ReaderLibrary& Library() { return library_; }
  IdCardLibrary& IdCard() { return idCard_; }
  bool Paused() const { return paused_; }

  void OnClientConnect(Connection& connection) override;
  void OnClientRead(Connection& connection, std::string_view received) override;
  void OnClientDisconnect(Connection& connection) override;
  void OnClientError(Connection& connection, SocketErrorKind kind, int& errorCode) override;

 private:
  ReplyBody RunCommand(size_t index);

  ServiceSettings settings_;
  EventLoop& loop_;
  DailyLog log_;
  ReaderLibrary library_;
  IdCardLibrary idCard_;
  bool paused_ = false;
};

}  // namespace duvane
