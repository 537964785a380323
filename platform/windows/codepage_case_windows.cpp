#include "platform/codepage.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {
// By the system's case rules for wide text, as far as code page 936 shows the
// result.
std::string UpperCaseCharacter(std::string_view character) {
  wchar_t wide[2] = {};
  const int count = MultiByteToWideChar(windows::kGbk, MB_ERR_INVALID_CHARS, character.data(),
                                        static_cast<int>(character.size()), wide, 2);
  if (count != 1) return std::string(character);
  wchar_t upper = wide[0];
  if (CharUpperBuffW(&upper, 1) != 1 || upper == wide[0]) return std::string(character);
  char narrow[4] = {};
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(windows::kGbk, WC_NO_BEST_FIT_CHARS, &upper, 1, narrow,
                                         sizeof narrow, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return std::string(character);
  return std::string(narrow, static_cast<size_t>(length));
}

}  // namespace duvane::platform
