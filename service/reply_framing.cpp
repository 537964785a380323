#include "service/reply_framing.h"

#include "service/date_text.h"

namespace duvane {

std::string HeaderBlock(const platform::LocalTime& today) {
  std::string block;
  block.reserve(256);  // the whole header block, Content-Length line included
  block += "HTTP/1.1 200 OK \r\nDate: ";
  AppendDate(block, today, '-');
  block +=
      " \r\n"
      "Server: Microsoft-IIS/6.0 \r\n"
      "X-Powered-By: ASP.NET \r\n"
      "X-AspNet-Version: 4.0.30319 \r\n"
      "X-AspNetMvc-Version: 3.0 \r\n"
      "Cache-Control: private \r\n"
      "Content-Type: application/json; charset=utf-8 \r\n";
  return block;
}

std::string ContentLengthLine(size_t bodyBytes) {
  return "Content-Length: " + std::to_string(bodyBytes) + " \r\n\r\n";
}

bool IsSafeCallbackName(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '$' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string WrapInCallback(std::string_view callback, std::string json) {
  if (!IsSafeCallbackName(callback)) return json;
  std::string wrapped;
  wrapped.reserve(callback.size() + json.size() + 2);
  wrapped.append(callback);
  wrapped.push_back('(');
  wrapped += json;
  wrapped.push_back(')');
  return wrapped;
}

}  // namespace duvane
