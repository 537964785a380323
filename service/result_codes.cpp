#include "service/result_codes.h"

#include <array>
#include <string>

#include "service/ansi_text.h"

namespace duvane {
namespace {

struct ResultText {
  Result result;
  std::string_view code;
  std::string_view message;  // UTF-8 here, narrow in the reply
};

constexpr std::array<ResultText, 9> kResultTable = {{
    {Result::kSuccess, "0000", "成功"},
    {Result::kUnknownCommand, "0001", "不可识别命令字"},
    {Result::kNoIdCardReader, "0100", "寻找身份证阅读器失败"},
    {Result::kIdCardPortFailed, "0102", "打开身份证阅读器端口失败"},
    {Result::kIdCardReadFailed, "0102", "读取身份证失败_"},
    {Result::kIdCardReadingFailed, "0103", "读取身份证异常"},
    {Result::kReaderNotOpen, "0200", "无法打开读卡器"},
    {Result::kCardNoFailed, "0201", "读卡失败"},
    {Result::kSerialFailed, "0201", "读序列号失败"},
}};

// The table is looked up by position, so it lists the results in order.
constexpr bool ListsEveryResultInOrder() {
  for (size_t i = 0; i < kResultTable.size(); ++i) {
    if (static_cast<size_t>(kResultTable[i].result) != i) return false;
  }
  return true;
}
static_assert(ListsEveryResultInOrder());
static_assert(static_cast<size_t>(Result::kSerialFailed) + 1 == kResultTable.size());

}  // namespace

ReplyBody ResultBody(Result result, std::string_view detail) {
  const ResultText& text = kResultTable[static_cast<size_t>(result)];
  return ReplyBody(std::string(text.code), Ansi(text.message) + std::string(detail));
}

}  // namespace duvane
