// The diagnostic lines of the reader path. They go nowhere unless the
// environment variable VELMORA_TRACE names a sink (see trace_sink.h).
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Hands one line (UTF-8 in the source, no line end) to the trace sink.
void WriteTrace(std::string line);

// Two upper-case hexadecimal digits per byte, high nibble first, nothing in
// between; a count of 0 or less gives the empty text.
std::string BytesToHex(const uint8_t* bytes, int32_t count);

// Eight upper-case hexadecimal digits of a 32-bit value, as the trace lines
// show PC/SC codes and open results.
std::string Hex8(uint32_t value);

}  // namespace velmora
