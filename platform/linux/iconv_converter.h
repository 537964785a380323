// An iconv descriptor for one direction, opened once and kept: iconv costs
// more to open than the rest of a request. Descriptors carry shift state, so
// each thread keeps its own.
#pragma once

#include <errno.h>
#include <iconv.h>

#include <string>
#include <string_view>

namespace duvane::platform {

class IconvConverter {
 public:
  IconvConverter(const char* to, const char* from) : to_(to), from_(from) { Open(); }
  ~IconvConverter() {
    if (cd_ != NoConverter()) iconv_close(cd_);
  }
  IconvConverter(const IconvConverter&) = delete;
  IconvConverter& operator=(const IconvConverter&) = delete;

  // Opening may fail for want of descriptors; it is tried again next use.
  bool Open() {
    if (cd_ == NoConverter()) cd_ = iconv_open(to_, from_);
    return cd_ != NoConverter();
  }

  // Converts `in`; each character that cannot be converted becomes one "?",
  // `skipBad` telling how many bytes it takes. `in` unchanged without a
  // descriptor.
  template <typename SkipBad>
  std::string Run(std::string_view in, SkipBad skipBad) {
    if (!Open()) return std::string(in);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
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
  static iconv_t NoConverter() { return reinterpret_cast<iconv_t>(-1); }

  const char* to_;
  const char* from_;
  iconv_t cd_ = NoConverter();
};

// glibc's wide characters are UCS-4 in the machine's byte order.
inline constexpr const char* kNarrowCodePage = "GBK";
inline constexpr const char* kWideCharacters = "WCHAR_T";

// UTF-16 units, one per wchar_t, to the narrow code page: one "?" for each
// unit that it cannot show (all of them without an iconv descriptor).
std::string WideToAnsi(std::wstring_view units);

}  // namespace duvane::platform
