#include "service/duvane_service.h"

#include "platform/service_manager.h"
#include "service/ansi_text.h"
#include "service/command_table.h"
#include "service/request_handler.h"
#include "service/status_reports.h"

namespace duvane {
namespace {

constexpr int kListenBacklog = 5;
// How soon after midnight the file of the ended day is let go of when
// nothing is logged.
constexpr std::chrono::seconds kDayEndCheck{1};

// The service's fixed log texts, converted once.
struct LogTexts {
  std::string connected = Ansi("连入;SocketID = ");
  std::string disconnected = Ansi("断开连接;SocketID = ");
  std::string invalid = Ansi("非法：");
  std::string listenFailed = Ansi("服务侦听启动异常：");
  std::string listenStarted = Ansi("服务侦听开始启动");
  std::string listenStopped = Ansi("服务侦听停止");
};

const LogTexts& Texts() {
  static const LogTexts texts;
  return texts;
}

}  // namespace

TDuvaneS::TDuvaneS(ServiceSettings settings, EventLoop& loop)
    : settings_(std::move(settings)),
      loop_(loop),
      log_(settings_.logFolder),
      library_(settings_.readerLibraryFile),
      idCard_(settings_.idCard) {}

void TDuvaneS::ServiceStart() {
  loop_.CallEvery(kDayEndCheck, [this] { log_.CloseEndedDay(); });
  std::string error;
  if (!loop_.Activate(settings_.port, kListenBacklog, *this, error)) {
    log_.WriteLog(Texts().listenFailed + error);
  }
  log_.WriteLog(Texts().listenStarted);
  library_.Bind(log_);
}

void TDuvaneS::ServiceStop() {
  loop_.Deactivate();
  log_.WriteLog(Texts().listenStopped);
  library_.Unbind();
}

void TDuvaneS::HandleControl(platform::ServiceControl control) {
  using platform::ServiceState;
  switch (control) {
    case platform::ServiceControl::Stop:
      LogUndeliveredReport(platform::ReportState(ServiceState::StopPending));
      ServiceStop();
      loop_.Quit();
      break;
    case platform::ServiceControl::Pause:
      LogUndeliveredReport(platform::ReportState(ServiceState::PausePending));
      paused_ = true;
      loop_.SetPaused(true);
      LogUndeliveredReport(platform::ReportState(ServiceState::Paused));
      break;
    case platform::ServiceControl::Continue:
      LogUndeliveredReport(platform::ReportState(ServiceState::ContinuePending));
      paused_ = false;
      loop_.SetPaused(false);
      LogUndeliveredReport(platform::ReportState(ServiceState::Running));
      break;
    case platform::ServiceControl::Interrogate:
      LogUndeliveredReport(
          platform::ReportState(paused_ ? ServiceState::Paused : ServiceState::Running));
      break;
    case platform::ServiceControl::Shutdown:
      // The machine is going down: the process ends without the stop
      // sequence, so no stop line is written and the reader is not closed.
      LogUndeliveredReport(platform::ReportState(ServiceState::StopPending));
      loop_.Quit();
      break;
  }
}

void TDuvaneS::OnClientConnect(Connection& c) {
  log_.WriteLog(c.PeerAddress() + Texts().connected + std::to_string(c.Handle()));
}

void TDuvaneS::OnClientDisconnect(Connection& c) {
  log_.WriteLog(c.PeerAddress() + Texts().disconnected + std::to_string(c.Handle()));
}

void TDuvaneS::OnClientError(Connection& c, SocketErrorKind, int& errorCode) {
  log_.WriteLog(c.PeerAddress() + Texts().invalid + std::to_string(errorCode) +
                ";SocketID = " + std::to_string(c.Handle()));
  errorCode = 0;
}

void TDuvaneS::OnClientRead(Connection& c, std::string_view received) {
  // The request's lines reach the file in one write, before a command runs:
  // a card read can take seconds, and whoever watches the log sees what the
  // service is busy with.
  std::optional<DailyLog::Batch> requestLines;
  requestLines.emplace(log_);
  const std::optional<std::string> reply =
      ServerSocket1ClientRead(received, c.Handle(), log_, [&](size_t index) {
        requestLines.reset();
        return RunCommand(index);
      });
  requestLines.reset();
  if (reply) c.Send(*reply);
}

ReplyBody TDuvaneS::RunCommand(size_t index) {
  CommandContext context{library_, log_, idCard_};
  return CommandTable[index].handler(context);
}

}  // namespace duvane
