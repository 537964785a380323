// The JSON body of a reply, as a command builds it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace duvane {

// A reply body: "ResultCode" and "ResultMsg" first, then the command's own
// members in the order added. Keys are ASCII; values are narrow (GBK) text.
class ReplyBody {
 public:
  ReplyBody(std::string resultCode, std::string resultMessage);

  ReplyBody& Add(std::string key, std::string value);

  const std::vector<std::pair<std::string, std::string>>& Members() const { return members_; }

  // One line of JSON in UTF-8: {"key":"value",...}. Values are converted to
  // UTF-8 first and then escaped (quote, backslash, control characters), so a
  // value can never break the object.
  std::string ToUtf8Json() const;

 private:
  std::vector<std::pair<std::string, std::string>> members_;
};

}  // namespace duvane
