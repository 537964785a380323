// Test side of the identity-card stand-in: a private folder with the holder
// file, the environment that points the simulation at it, the call log, a
// tone recorder to pass to the command, and the system log's entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "service/idcard/get_pid_command.h"
#include "service/reply_body.h"

namespace idcardtest {

struct Tone {
  uint32_t frequencyHz;
  uint32_t durationMs;
  bool operator==(const Tone&) const = default;
};

// Every tone since the last ClearTones; RecordTone is the ToneFunction.
void RecordTone(uint32_t frequencyHz, uint32_t durationMs);
const std::vector<Tone>& Tones();
void ClearTones();

// The system log's entries (source, message) since the last clear: this
// program writes them here instead.
std::vector<std::pair<std::string, std::string>>& SystemLogEntries();

// Members of a reply body with their values in UTF-8.
std::vector<std::pair<std::string, std::string>> Utf8Members(const duvane::ReplyBody& body);

// Each test gets its own folder and call log, a cleared tone record and
// system log, and the library of the service's helper beside this program.
// The simulation starts off (no holder file): no reader. The library's
// process takes the environment when it starts, at the first request.
class IdCardSimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "GETPID" through `library_`, with the tone recorded.
  duvane::ReplyBody GetPid() { return duvane::GetPidCommand(*library_, RecordTone); }

  // Writes the holder file (UTF-8 key=value lines) that the simulation
  // reads at every reader look-up. Returns its path.
  std::filesystem::path UseHolder(const std::string& contents);
  std::filesystem::path WriteFile(const std::string& name, const std::string& bytes);
  // Calls recorded by the stand-in since the test began, oldest first.
  std::vector<std::string> CallLog() const;

  std::filesystem::path folder_;
  std::unique_ptr<duvane::IdCardLibrary> library_;
};

}  // namespace idcardtest
