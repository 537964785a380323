#include "service/ansi_text.h"

namespace duvane {

std::string UpperCaseAnsi(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (size_t i = 0; i < ansi.size();) {
    const auto byte = static_cast<unsigned char>(ansi[i]);
    if (byte < 0x80) {
      out.push_back(byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : ansi[i]);
      ++i;
      continue;
    }
    // GBK's lead bytes are 0x81 to 0xFE.
    const size_t length = byte >= 0x81 && byte <= 0xFE && i + 1 < ansi.size() ? 2 : 1;
    out += platform::UpperCaseCharacter(ansi.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace duvane
