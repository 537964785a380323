#include "platform/service_host.h"

namespace duvane::platform {

// systemd starts the program as the service itself: no dispatcher, no entry.
int RunAsService(std::string_view, std::string_view, const ServiceBody& body) { return body(); }

}  // namespace duvane::platform
