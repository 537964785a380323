#include "service/reply_body.h"

#include <cstdio>

#include "platform/codepage.h"

namespace duvane {
namespace {

// Escapes a UTF-8 value for a JSON string. Working on UTF-8 (never on the
// narrow text) matters: a GBK trail byte can be 0x5C, the backslash.
void AppendEscaped(std::string& out, std::string_view utf8) {
  for (char c : utf8) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && c != '"' && c != '\\') {
      out.push_back(c);
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", byte);
      out += buf;
    }
  }
}

}  // namespace

ReplyBody::ReplyBody(std::string resultCode, std::string resultMessage) {
  members_.emplace_back("ResultCode", std::move(resultCode));
  members_.emplace_back("ResultMsg", std::move(resultMessage));
}

ReplyBody& ReplyBody::Add(std::string key, std::string value) {
  members_.emplace_back(std::move(key), std::move(value));
  return *this;
}

std::string ReplyBody::ToUtf8Json() const {
  std::string out = "{";
  bool first = true;
  for (const auto& [key, value] : members_) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('"');
    AppendEscaped(out, key);
    out += "\":\"";
    AppendEscaped(out, platform::AnsiToUtf8(value));
    out.push_back('"');
  }
  out.push_back('}');
  return out;
}

}  // namespace duvane
