#include "service/url_decode.h"

namespace duvane {
namespace {

unsigned HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 0xFFu;
}

}  // namespace

std::string UrlDecode(std::string_view source, size_t capacity) {
  source = source.substr(0, source.find('\0'));
  const size_t limit = capacity > 0 ? capacity - 1 : 0;
  // Decoding never lengthens the text: write in place, then cut.
  std::string out(source.size() < limit ? source.size() : limit, '\0');
  size_t written = 0;
  for (size_t i = 0; i < source.size() && written < out.size(); ++i) {
    char c = source[i];
    if (c == '%' && i + 2 < source.size()) {
      unsigned value = ((HexValue(source[i + 1]) << 4) | HexValue(source[i + 2])) & 0xFFu;
      if (value == 0) break;
      c = static_cast<char>(value);
      i += 2;
    } else if (c == '+') {
      c = ' ';
    }
    out[written++] = c;
  }
  out.resize(written);
  return out;
}

}  // namespace duvane
