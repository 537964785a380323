#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "service/ansi_text.h"
#include "service/command_table.h"
#include "service/param_value.h"
#include "service/request_handler.h"
#include "service/url_decode.h"
#include "tests/service/broken_utf8_cases.h"
#include "tests/service/gbk.h"

namespace duvane {
namespace {

TEST(RequestUrlDecode, DecodesEscapesPlusAndInvalidDigits) {
  EXPECT_EQ(UrlDecode("GET /%47ETCARDNO?x HTTP/1.1", 10240), "GET /GETCARDNO?x HTTP/1.1");
  EXPECT_EQ(UrlDecode("a+b%20c", 10240), "a b c");
  EXPECT_EQ(UrlDecode("%G1", 10240), "\xF1");
  EXPECT_EQ(UrlDecode("%1G", 10240), "\xFF");
  EXPECT_EQ(UrlDecode("%e6%88%90", 10240), "\xE6\x88\x90");
}

TEST(RequestUrlDecode, StopsAtZeroAndNeverReadsOrWritesPastTheEnd) {
  EXPECT_EQ(UrlDecode("ab%00cd", 10240), "ab");
  EXPECT_EQ(UrlDecode(std::string("ab\0cd", 5), 10240), "ab");
  EXPECT_EQ(UrlDecode("ab%", 10240), "ab%");
  EXPECT_EQ(UrlDecode("ab%4", 10240), "ab%4");
  std::string huge(20000, 'x');
  EXPECT_EQ(UrlDecode(huge, 10240).size(), 10239u);
  EXPECT_EQ(UrlDecode("%41%42%43", 3), "AB");
}

TEST(RequestToAnsi, ReplacesBrokenUtf8AsTheWindowsBuildDoes) {
  for (const auto& [utf8, ansi] : testcases::kBrokenUtf8Cases) {
    EXPECT_EQ(platform::Utf8ToAnsi(utf8), ansi) << testing::PrintToString(utf8);
  }
}

TEST(RequestItems, SplitsByTheItemRule) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitItems("a&b", '&'), (V{"a", "b"}));
  EXPECT_EQ(SplitItems("a&&b", '&'), (V{"a", "", "b"}));
  EXPECT_EQ(SplitItems("a&", '&'), (V{"a", ""}));
  EXPECT_EQ(SplitItems("  a & b", '&'), (V{"a", "b"}));
  EXPECT_EQ(SplitItems("\"x&y\"&b", '&'), (V{"x&y", "b"}));
  EXPECT_EQ(SplitItems("\"say \"\"hi\"\"\"", '&'), (V{"say \"hi\""}));
  EXPECT_EQ(SplitItems("\"open", '&'), (V{"open"}));
  EXPECT_TRUE(SplitItems("", '&').empty());
}

TEST(RequestParams, FindsTheCallbackWhateverTheCaseAndBlanks) {
  EXPECT_EQ(GetParamValue("callback=cb", "CALLBACK"), "cb");
  EXPECT_EQ(GetParamValue("CallBack = cb", "CALLBACK"), "cb");
  EXPECT_EQ(GetParamValue("x=1&callback=my cb", "CALLBACK"), "mycb");
  EXPECT_EQ(GetParamValue("callback=", "CALLBACK"), "");
  EXPECT_EQ(GetParamValue("callback=a=b", "CALLBACK"), "");
  EXPECT_EQ(GetParamValue("callback=first&callback=second", "CALLBACK"), "first");
  EXPECT_EQ(GetParamValue("callback", "CALLBACK"), "");
  // Items are split at "&" before "=": a quote opened after "=" ends there.
  EXPECT_EQ(GetParamValue("callback=\"a&b\"", "CALLBACK"), "a");
  EXPECT_EQ(GetParamValue("\"callback=cb\"", "CALLBACK"), "cb");  // quotes only group
  EXPECT_EQ(GetParamValue("", "CALLBACK"), "");
}

TEST(RequestCommandText, CutsTheWordAndParametersFromTheRequestLine) {
  auto parsed = ParseCommandText("GET /getcardno?callback=cb HTTP/1.1\r\nHost: x\r\n\r\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->word, "GETCARDNO");
  EXPECT_EQ(parsed->params, "callback=cb");

  auto folder = ParseCommandText("GET /a/getcardno?x HTTP/1.1\r\n");
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->word, "A/GETCARDNO");

  auto empty = ParseCommandText("GET /?x HTTP/1.1");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->word, "");
}

TEST(RequestCommandText, LeavesUnansweredRequestsAlone) {
  EXPECT_FALSE(ParseCommandText("GET /GETCARDNO HTTP/1.1\r\n"));  // no "?"
  EXPECT_FALSE(ParseCommandText("GET /GETCARDNO?x HTTP/1.0\r\n"));
  EXPECT_FALSE(ParseCommandText("POST /GETCARDNO?x HTTP/1.1\r\n"));
  EXPECT_FALSE(ParseCommandText("GET / HTTP/1.1\r\n"));  // empty command text
  EXPECT_FALSE(ParseCommandText(" HTTP/1.1 GET /x?y"));  // protocol before the method
  EXPECT_FALSE(ParseCommandText("GET /GETCARD"));        // first half of a split line
  EXPECT_FALSE(ParseCommandText("NO?x HTTP/1.1\r\n"));   // second half
}

TEST(RequestCommandTable, MatchesExactUpperCaseWords) {
  EXPECT_EQ(FindCommand("GETCARDNO"), 0u);
  EXPECT_EQ(FindCommand("GETCARDSN"), 1u);
  EXPECT_EQ(FindCommand("GETPID"), 2u);
  EXPECT_FALSE(FindCommand("getpid"));
  EXPECT_FALSE(FindCommand("GETPI"));
  EXPECT_FALSE(FindCommand("GETPIDX"));
}

TEST(RequestCommandWord, UpperCasesEveryCharacterThatHasAFormInTheCodePage) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"getPid", "GETPID"},          // ASCII
      {G("ｇαаx"), G("ＧΑАX")},      // fullwidth g, Greek alpha, Cyrillic a
      {G("ωёⅰ"), G("ΩЁⅠ")},          // Greek, Cyrillic, Roman numeral
      {G("读卡abc"), G("读卡ABC")},  // Chinese keeps its bytes
      {G("āü"), G("āü")},            // upper-case forms missing from the code page
      {"\x81\x61x", "\x81\x61X"},    // a trail byte that looks like "a"
      {"a\x81", "A\x81"},            // a lead byte without its trail byte
      {"\x80\xFFz", "\x80\xFFZ"},    // bytes that are no character
  };
  for (const Case& c : cases) EXPECT_EQ(UpperCaseAnsi(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace duvane
