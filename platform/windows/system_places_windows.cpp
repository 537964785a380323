#include "platform/system_places.h"

namespace duvane::platform {

const char* const kLogFolder = "C:\\";
const char* const kReaderLibraryFile = "Velmora.dll";
const char* const kIdCardLibraryFile = "ZetIDCardAPI.dll";
const char* const kIdCardHelperFile = "";
const char* const kServiceRegistry = "";

}  // namespace duvane::platform
