// Request bytes that are not valid UTF-8, or lie at its edges, and the code
// page 936 bytes that the Windows build's conversion gives for them (taken
// from that build under Wine). Both builds run this table, so a request with
// broken bytes is logged and echoed alike on both.
#pragma once

#include <string>

namespace duvane::testcases {

struct BrokenUtf8Case {
  std::string utf8;
  std::string ansi;
};

inline const BrokenUtf8Case kBrokenUtf8Cases[] = {
    // Cut short: the start byte and the continuation bytes read are one "?".
    {"\xE4\xB8"
     "A",
     "?A"},
    {"\xF0\x9F\x98Z", "?Z"},
    {"\xE4\xB8", "?"},
    // A sequence longer than what is left takes the rest with it.
    {"A\xE4"
     "A",
     "A?"},
    {"\xF0\x9FZ", "?"},
    // Overlong forms: the start byte with the byte that shows it is one "?".
    {"\xC0\x80Z", "??Z"},
    {"\xC1\xBF", "??"},
    {"\xE0\x80\x80Z", "??Z"},
    {"\xF0\x80\x80\x80Z", "???Z"},
    // Surrogates, likewise.
    {"\xED\xA0\x80"
     "C",
     "??C"},
    {"\xED\xBF\xBF"
     "C",
     "??C"},
    // Above U+10FFFF: the third byte starts afresh; F5 to FF start nothing.
    {"\xF4\x90\x80\x80Z", "???Z"},
    {"\xF5\x80\x80\x80", "????"},
    {"\xF8\x88\x80\x80\x80Z", "?????Z"},
    // Stray continuation bytes and bytes that start nothing: one "?" each.
    {"\x80Z", "?Z"},
    {"\x80\x80", "??"},
    {"\xBF"
     "A",
     "?A"},
    {"a\xC3(\xFF"
     "b",
     "a?(?b"},
    // Valid edges: characters the code page lacks are "?", one per UTF-16
    // unit.
    {"\xC2\x80", "?"},
    {"\xED\x9F\xBF", "?"},
    {"\xEF\xBF\xBD", "?"},
    {"\xEF\xBF\xBF", "?"},
    {"\xF0\x9F\x98\x80", "??"},
    {"\xF4\x8F\xBF\xBF", "??"},
    {"\xE4\xB8\xAD", "\xD6\xD0"},
};

}  // namespace duvane::testcases
