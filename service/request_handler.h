// Handling of one read event: from the received bytes to the reply bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "service/daily_log.h"
#include "service/reply_body.h"

namespace duvane {

// Size of each working buffer of the request path (zero terminator included).
inline constexpr size_t kWorkingBufferSize = 10240;

// Runs the command of CommandTable at `index` and returns its reply body.
using CommandRunner = std::function<ReplyBody(size_t index)>;

// The service's own failure with a narrow message text: a request whose
// handling raises it is logged and gets no reply.
class ServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CommandText {
  std::string word;    // upper-cased
  std::string params;  // unchanged
};

// The command word and the parameter string of the request line in a
// converted request, or nullopt when the request is not answered ("GET /" or
// " HTTP/1.1" missing, nothing between them, or no "?").
std::optional<CommandText> ParseCommandText(std::string_view converted);

// Handles one received text and returns the whole reply to send (header block
// and body), or nullopt when nothing is sent. Writes the request's log lines.
std::optional<std::string> ServerSocket1ClientRead(std::string_view received, int socketHandle,
                                                   const DailyLog& log,
                                                   const CommandRunner& runCommand);

}  // namespace duvane
