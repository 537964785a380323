// Conversion between UTF-8 and the workstation's narrow code page.
//
// The service keeps its working text (log lines, messages, request text) in
// the narrow code page of the workstations it was made for: GBK, code page
// 936, on every platform. Characters the code page cannot show become "?".
#pragma once

#include <string>
#include <string_view>

namespace duvane::platform {

// UTF-8 to the narrow code page. Invalid UTF-8 sequences and characters
// without a narrow form each become one "?". Never fails.
std::string Utf8ToAnsi(std::string_view utf8);

// Narrow code page to UTF-8. Bytes that are not valid in the code page
// become "?". Never fails.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace duvane::platform
