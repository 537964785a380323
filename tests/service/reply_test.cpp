#include <gtest/gtest.h>

#include "service/reply_body.h"
#include "service/reply_framing.h"
#include "tests/service/gbk.h"

namespace duvane {
namespace {

TEST(ReplyBody, IsOneLineOfStringMembersInOrder) {
  ReplyBody body("0000", G("成功"));
  body.Add("CardSN", "78563412").Add("CardType", "8");
  EXPECT_EQ(body.ToUtf8Json(),
            "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"CardSN\":\"78563412\","
            "\"CardType\":\"8\"}");
}

TEST(ReplyBody, EscapesValuesSoTheObjectStaysValid) {
  ReplyBody body("0001", G("不可识别命令字") + "A\"B\\C\x01\n");
  EXPECT_EQ(body.ToUtf8Json(),
            "{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字A\\\"B\\\\C\\u0001\\u000A\"}");
}

TEST(ReplyBody, EscapesAfterConversionSoGbkTrailBytesAreNotBackslashes) {
  // "表" is BD 5C in GBK: its trail byte is a backslash before conversion.
  ReplyBody body("0000", G("表"));
  EXPECT_EQ(body.ToUtf8Json(), "{\"ResultCode\":\"0000\",\"ResultMsg\":\"表\"}");
}

TEST(ReplyFraming, HeaderLinesEndWithABlankBeforeCrLf) {
  platform::LocalTime day{2026, 12, 6, 23, 59, 59};
  EXPECT_EQ(HeaderBlock(day),
            "HTTP/1.1 200 OK \r\n"
            "Date: 2026-12-06 \r\n"
            "Server: Microsoft-IIS/6.0 \r\n"
            "X-Powered-By: ASP.NET \r\n"
            "X-AspNet-Version: 4.0.30319 \r\n"
            "X-AspNetMvc-Version: 3.0 \r\n"
            "Cache-Control: private \r\n"
            "Content-Type: application/json; charset=utf-8 \r\n");
  EXPECT_EQ(ContentLengthLine(6), "Content-Length: 6 \r\n\r\n");
}

TEST(ReplyFraming, WrapsOnlyInSafeCallbackNames) {
  EXPECT_EQ(WrapInCallback("cb", "{}"), "cb({})");
  EXPECT_EQ(WrapInCallback("jQuery_1.$x", "{}"), "jQuery_1.$x({})");
  EXPECT_EQ(WrapInCallback("", "{}"), "{}");
  EXPECT_EQ(WrapInCallback("alert(1);x", "{}"), "{}");
  EXPECT_EQ(WrapInCallback("a<script>", "{}"), "{}");
  EXPECT_EQ(WrapInCallback(std::string(128, 'a'), "{}"), std::string(128, 'a') + "({})");
  EXPECT_EQ(WrapInCallback(std::string(129, 'a'), "{}"), "{}");
  EXPECT_EQ(WrapInCallback(G("回调"), "{}"), "{}");
}

}  // namespace
}  // namespace duvane
