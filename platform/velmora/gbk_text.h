// The code page of the trace lines: GBK (code page 936) on every system.
#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

// The GBK bytes of a UTF-8 text; the UTF-8 text unchanged when it cannot be
// converted whole: a diagnostic line is better garbled than lost.
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace velmora::platform
