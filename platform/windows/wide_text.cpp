#include "platform/windows/wide_text.h"

#include <climits>

namespace duvane::platform::windows {
namespace {

// The conversion calls count in int; nothing the service handles comes near.
int Length(size_t size) { return size > INT_MAX / 4 ? INT_MAX / 4 : static_cast<int>(size); }

}  // namespace

std::wstring ToWide(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int length = Length(text.size());
  const int count = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), count);
  return wide;
}

std::string FromWide(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  const int length = Length(text.size());
  const int count =
      WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string narrow(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), count, nullptr, nullptr);
  return narrow;
}

std::wstring SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring message(buffer != nullptr ? buffer : L"", length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!message.empty() && message.back() <= L' ') message.pop_back();
  return message;
}

}  // namespace duvane::platform::windows
