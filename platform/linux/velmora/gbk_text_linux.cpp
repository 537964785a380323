#include <iconv.h>

#include "velmora/gbk_text.h"

namespace velmora::platform {

std::string Utf8ToGbk(std::string_view utf8) {
  iconv_t toGbk = iconv_open("GBK", "UTF-8");
  if (toGbk == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  std::string input(utf8);
  std::string output(input.size() * 2 + 4, '\0');
  char* in = input.data();
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  const bool converted = iconv(toGbk, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
  iconv_close(toGbk);
  if (!converted) return std::string(utf8);
  output.resize(output.size() - outLeft);
  return output;
}

}  // namespace velmora::platform
