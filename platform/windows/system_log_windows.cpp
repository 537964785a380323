// A file of its own: tests link their own WriteSystemLogError in its place.
#include <windows.h>

#include "platform/service_manager.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {

// The message is the service's text, in code page 936.
void WriteSystemLogError(std::string_view source, std::string_view message) {
  const std::wstring wideSource = windows::Utf8ToWide(source);
  HANDLE eventLog = RegisterEventSourceW(nullptr, wideSource.c_str());
  if (eventLog == nullptr) return;
  const std::wstring text = windows::ToWide(message, windows::kGbk);
  const wchar_t* strings[] = {text.c_str()};
  ReportEventW(eventLog, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(eventLog);
}

}  // namespace duvane::platform
