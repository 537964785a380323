// Text at the edge of the Windows API. The service keeps its working text in
// code page 936 (GBK) and its paths and console messages in UTF-8; the system
// takes UTF-16. The code pages are always named, never the workstation's
// ANSI code page, so the bytes are the same whatever its locale.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace duvane::platform::windows {

inline constexpr UINT kGbk = 936;

// Text in `codePage` to UTF-16. Invalid sequences become U+FFFD.
std::wstring ToWide(std::string_view text, UINT codePage);
// UTF-16 to `codePage`. Characters the code page cannot show become its
// default character ("?").
std::string FromWide(std::wstring_view text, UINT codePage);

inline std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(utf8, CP_UTF8); }
inline std::string WideToUtf8(std::wstring_view wide) { return FromWide(wide, CP_UTF8); }

// The system's text for an error number, without its line end; "" when the
// system has none.
std::wstring SystemMessage(DWORD error);

}  // namespace duvane::platform::windows
