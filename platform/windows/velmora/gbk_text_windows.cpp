#include <windows.h>

#include "velmora/gbk_text.h"

namespace velmora::platform {
namespace {

constexpr UINT kGbk = 936;
// Far beyond any trace line; keeps the lengths within the int of the calls.
constexpr size_t kLongestText = 1 << 20;

}  // namespace

// The code pages are named explicitly, so the bytes are the same whatever
// the workstation's ANSI code page is.
std::string Utf8ToGbk(std::string_view utf8) {
  std::string text(utf8);
  if (text.empty() || text.size() > kLongestText) return text;
  const int utf8Length = static_cast<int>(text.size());
  std::wstring wide(text.size(), L'\0');
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), utf8Length,
                                             wide.data(), utf8Length);
  if (wideLength <= 0) return text;
  std::string gbk(text.size() * 2, '\0');
  BOOL lossy = FALSE;
  const int gbkLength = WideCharToMultiByte(kGbk, 0, wide.data(), wideLength, gbk.data(),
                                            static_cast<int>(gbk.size()), nullptr, &lossy);
  if (gbkLength <= 0 || lossy) return text;
  gbk.resize(static_cast<size_t>(gbkLength));
  return gbk;
}

}  // namespace velmora::platform
