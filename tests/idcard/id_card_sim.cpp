#include "tests/idcard/id_card_sim.h"

#include <cstdlib>
#include <fstream>

#include "platform/codepage.h"
#include "platform/service_manager.h"

namespace idcardtest {
namespace {

std::vector<Tone>& ToneRecord() {
  static std::vector<Tone> tones;
  return tones;
}

}  // namespace

std::vector<std::pair<std::string, std::string>>& SystemLogEntries() {
  static std::vector<std::pair<std::string, std::string>> entries;
  return entries;
}

}  // namespace idcardtest

namespace duvane::platform {

void WriteSystemLogError(std::string_view source, std::string_view message) {
  idcardtest::SystemLogEntries().emplace_back(std::string(source), std::string(message));
}

}  // namespace duvane::platform

namespace idcardtest {

void RecordTone(uint32_t frequencyHz, uint32_t durationMs) {
  ToneRecord().push_back(Tone{frequencyHz, durationMs});
}
const std::vector<Tone>& Tones() { return ToneRecord(); }
void ClearTones() { ToneRecord().clear(); }

std::vector<std::pair<std::string, std::string>> Utf8Members(const duvane::ReplyBody& body) {
  std::vector<std::pair<std::string, std::string>> members;
  for (const auto& [key, value] : body.Members()) {
    members.emplace_back(key, duvane::platform::AnsiToUtf8(value));
  }
  return members;
}

void IdCardSimTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "getpid-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  folder_ = pattern;
  setenv("ZETIDCARD_SIM", (folder_ / "holder.txt").c_str(), 1);
  setenv("ZETIDCARD_CALLLOG", (folder_ / "calls.log").c_str(), 1);
  ClearTones();
  SystemLogEntries().clear();
  library_ = std::make_unique<duvane::IdCardLibrary>(duvane::IdCardSettings{});
}

void IdCardSimTest::TearDown() {
  library_.reset();
  unsetenv("ZETIDCARD_SIM");
  unsetenv("ZETIDCARD_CALLLOG");
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::filesystem::path IdCardSimTest::WriteFile(const std::string& name, const std::string& bytes) {
  const std::filesystem::path path = folder_ / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::filesystem::path IdCardSimTest::UseHolder(const std::string& contents) {
  return WriteFile("holder.txt", contents);
}

std::vector<std::string> IdCardSimTest::CallLog() const {
  std::vector<std::string> lines;
  std::ifstream in(folder_ / "calls.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace idcardtest
