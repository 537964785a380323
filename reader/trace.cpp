#include "trace.h"

#include "trace_sink.h"

namespace velmora {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void WriteTrace(std::string line) { TraceSinkWrite(line); }

std::string BytesToHex(const uint8_t* bytes, int32_t count) {
  std::string text;
  if (bytes == nullptr || count <= 0) return text;
  text.reserve(static_cast<size_t>(count) * 2);
  for (int32_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string Hex8(uint32_t value) {
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i) {
    text[static_cast<size_t>(i)] = kHexDigits[value & 0x0F];
    value >>= 4;
  }
  return text;
}

}  // namespace velmora
