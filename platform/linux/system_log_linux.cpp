// A file of its own: tests link their own WriteSystemLogError in its place.
#include <syslog.h>

#include <string>

#include "platform/service_manager.h"

namespace duvane::platform {

void WriteSystemLogError(std::string_view source, std::string_view message) {
  // openlog keeps the pointer, so the ident must outlive the entry.
  static thread_local std::string ident;
  ident.assign(source);
  openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
  syslog(LOG_ERR, "%.*s", static_cast<int>(message.size()), message.data());
  closelog();
}

}  // namespace duvane::platform
