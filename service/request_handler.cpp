#include "service/request_handler.h"

#include <new>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "service/ansi_text.h"
#include "service/command_table.h"
#include "service/param_value.h"
#include "service/reply_framing.h"
#include "service/result_codes.h"
#include "service/url_decode.h"

namespace duvane {
namespace {

const std::string& Text(std::string_view utf8, std::string& cache) {
  if (cache.empty()) cache = Ansi(utf8);
  return cache;
}

// The converted request: the decoded UTF-8 text in the narrow code page,
// held to the size of its working buffer.
std::string RequestToAnsi(std::string_view decoded) {
  std::string converted = platform::Utf8ToAnsi(decoded);
  converted = converted.substr(0, converted.find('\0'));
  if (converted.size() > kWorkingBufferSize - 1) converted.resize(kWorkingBufferSize - 1);
  return converted;
}

std::string FrameReply(const ReplyBody& body, std::string_view params) {
  std::string header = HeaderBlock(platform::NowLocal());
  std::string sent = WrapInCallback(GetParamValue(params, "CALLBACK"), body.ToUtf8Json());
  header += ContentLengthLine(sent.size());
  header += sent;
  return header;
}

std::optional<std::string> HandleRequest(std::string_view received, int socketHandle,
                                         const DailyLog& log, const CommandRunner& runCommand) {
  static std::string rawLabel, convertedLabel;
  log.WriteLog("(" + std::to_string(socketHandle) + Text(")收到原始数据：", rawLabel) +
               std::string(received));
  const std::string converted = RequestToAnsi(UrlDecode(received, kWorkingBufferSize));
  log.WriteLog(Text("转换后数据：", convertedLabel) + converted);

  std::optional<CommandText> command = ParseCommandText(converted);
  if (!command) return std::nullopt;
  log.WriteLog("strCMD:" + command->word + ";strParam:" + command->params);

  std::optional<size_t> index = FindCommand(command->word);
  ReplyBody body = index ? runCommand(*index) : ResultBody(Result::kUnknownCommand, command->word);
  return FrameReply(body, command->params);
}

}  // namespace

std::optional<CommandText> ParseCommandText(std::string_view converted) {
  constexpr std::string_view kMethod = "GET /";
  constexpr std::string_view kProtocol = " HTTP/1.1";
  size_t method = converted.find(kMethod);
  size_t protocol = converted.find(kProtocol);
  if (method == std::string_view::npos || protocol == std::string_view::npos) return std::nullopt;
  size_t start = method + kMethod.size();
  if (protocol <= start) return std::nullopt;
  std::string_view text = converted.substr(start, protocol - start);
  size_t question = text.find('?');
  if (question == std::string_view::npos) return std::nullopt;
  return CommandText{UpperCaseAnsi(text.substr(0, question)),
                     std::string(text.substr(question + 1))};
}

std::optional<std::string> ServerSocket1ClientRead(std::string_view received, int socketHandle,
                                                   const DailyLog& log,
                                                   const CommandRunner& runCommand) {
  try {
    return HandleRequest(received, socketHandle, log, runCommand);
  } catch (const std::bad_alloc&) {
    throw;  // not the service's own kind: the event dispatch reports it
  } catch (const std::exception& e) {
    static std::string label;
    log.WriteLog(Text("处理数据异常：", label) + e.what());
    return std::nullopt;
  }
}

}  // namespace duvane
