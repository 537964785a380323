// "GETPID": reads the resident identity card in the identity-card reader.
#pragma once

#include <cstdint>

#include "platform/host.h"
#include "service/idcard/idcard_library.h"
#include "service/reply_body.h"

namespace duvane {

// Tone before each card read; replaceable so tests can observe it.
using ToneFunction = void (*)(uint32_t frequencyHz, uint32_t durationMs);

// Looks the reader up anew, sounds the tone and reads the holder's data and
// photo through `library`. Every outcome of the read is a reply body: "0000"
// with the holder's members, "0100" (no reader), "0102" (port or read
// failure) or "0103" (the reading raised, faulted or hung, or the library is
// still busy with an earlier read). A failure of the reader look-up itself
// is raised as a ServiceError: the request gets no reply. Keeps nothing
// between calls.
ReplyBody GetPidCommand(IdCardLibrary& library, ToneFunction tone = platform::Beep);

}  // namespace duvane
