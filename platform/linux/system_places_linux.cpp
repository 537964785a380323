#include "platform/system_places.h"

namespace duvane::platform {

const char* const kLogFolder = "/var/log/duvane/";
const char* const kReaderLibraryFile = "libVelmora.so";
const char* const kIdCardLibraryFile = "libZetIDCardAPI.so";
const char* const kIdCardHelperFile = "duvane-idcard";
const char* const kServiceRegistry = "/etc/systemd/system";

}  // namespace duvane::platform
