#include <errno.h>
#include <iconv.h>

#include "platform/codepage.h"

namespace duvane::platform {
namespace {

constexpr const char* kNarrowCodePage = "GBK";

// One converter per direction and thread: iconv descriptors carry shift state
// and must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; `skipBad` tells how many input bytes one unconvertible or
  // invalid character takes, each of which becomes one "?".
  template <typename SkipBad>
  std::string Run(std::string_view in, SkipBad skipBad) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.reserve(in.size() * 3 / 2 + 8);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char chunk[1024];
    while (srcLeft > 0) {
      char* dst = chunk;
      size_t dstLeft = sizeof chunk;
      size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(chunk, sizeof chunk - dstLeft);
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: a character that cannot be converted, or cut short.
      size_t skip = skipBad(std::string_view(src, srcLeft));
      if (skip == 0 || skip > srcLeft) skip = srcLeft;
      src += skip;
      srcLeft -= skip;
      out.push_back('?');
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 character at the start of `s`, or 1 for a byte that
// cannot start one (each such byte is one replacement character).
size_t Utf8CharLength(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
  if (len > s.size()) return 1;
  for (size_t i = 1; i < len; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return len;
}

// A narrow character is one byte, or two when the first is a lead byte.
size_t NarrowCharLength(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  if (lead >= 0x81 && lead <= 0xFE && s.size() >= 2) {
    auto trail = static_cast<unsigned char>(s[1]);
    if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
  }
  return 1;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  thread_local Converter converter(kNarrowCodePage, "UTF-8");
  return converter.Run(utf8, Utf8CharLength);
}

std::string AnsiToUtf8(std::string_view ansi) {
  thread_local Converter converter("UTF-8", kNarrowCodePage);
  return converter.Run(ansi, NarrowCharLength);
}

}  // namespace duvane::platform
