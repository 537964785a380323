// The identity-card library as "GETPID" uses it: its calls run where a fault,
// an exception or a hang in them costs one request, never the service
// (platform/isolated_work.h), and each such end is written to the system log.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "isolation/isolated_work.h"
#include "platform/host.h"
#include "service/idcard/card_reading.h"

namespace duvane {

// How long one call into the library may take: the reader look-up, or the
// card read with its photo. A card read takes a few seconds at most.
inline constexpr std::chrono::milliseconds kIdCardCallBound{20'000};

struct IdCardSettings {
  // The program that runs the library's calls on Linux, beside the service.
  std::string helperProgram = platform::ExecutableFolder() + "/" + platform::kIdCardHelperFile;
  std::string libraryFile = platform::kIdCardLibraryFile;
  std::chrono::milliseconds callBound = kIdCardCallBound;
};

class IdCardLibrary {
 public:
  explicit IdCardLibrary(const IdCardSettings& settings);

  // Makes the library ready now rather than at the first read; false with
  // the reason when it cannot be used (it or one of its functions is
  // missing).
  bool Start(std::string& error);

  // Step 1: the reader's port, 0 when there is none. Nullopt when the
  // library is still busy with an earlier call and is not called. A fault,
  // an exception or a hang is the request's own failure: it is logged and
  // raised as a ServiceError.
  std::optional<int32_t> FindReader();
  // The card read; false when it ended abnormally or the library was busy.
  bool ReadCard(int32_t port, CardReading& reading);

 private:
  std::unique_ptr<isolation::Isolation> isolation_;
};

}  // namespace duvane
