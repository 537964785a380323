// Optional destination of the trace lines. VELMORA_TRACE is read once, at the
// first line: "stderr" or a file path (appended to). Lines are written in GBK,
// the code page of the texts on the workstations the library was made for,
// one conversion per line, each followed by a line end. Without the variable
// nothing is opened or written.
#pragma once

#include <string_view>

namespace velmora {

void TraceSinkWrite(std::string_view utf8Line);

}  // namespace velmora
