// Helpers shared by the service host tests: temporary folders, the daily log
// as lines, and the call record of the reader stand-ins.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "service/daily_log.h"

namespace hosttest {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "duvane-host-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline std::vector<std::string> SplitLines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    lines.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return lines;
}

// A daily log in a folder of its own.
class LogFolder {
 public:
  LogFolder() : log_(folder_.Path() + "/") {}
  const duvane::DailyLog& Log() const { return log_; }

  // The messages of every line so far (narrow text, time stamps cut off),
  // across day files in date order.
  std::vector<std::string> Messages() const {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
      files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> messages;
    const size_t stampLength = std::string("yyyy-mm-dd hh:nn:ss ").size();
    for (const std::string& file : files) {
      for (const std::string& line : SplitLines(ReadFile(file), "\r\n")) {
        messages.push_back(line.size() >= stampLength ? line.substr(stampLength) : line);
      }
    }
    return messages;
  }

 private:
  TempFolder folder_;
  duvane::DailyLog log_;
};

// Points the reader stand-ins' call record at a fresh file.
class StubCalls {
 public:
  StubCalls() : path_(folder_.File("calls.txt")) {
    ::setenv("HOST_STUB_CALL_LOG", path_.c_str(), 1);
  }
  ~StubCalls() { ::unsetenv("HOST_STUB_CALL_LOG"); }
  StubCalls(const StubCalls&) = delete;
  StubCalls& operator=(const StubCalls&) = delete;

  std::vector<std::string> Calls() const { return SplitLines(ReadFile(path_), "\n"); }

 private:
  TempFolder folder_;
  std::string path_;
};

// Stand-in library file names, as the service would pass them.
inline std::string StubLibrary(const std::string& variant) {
  return "libhost_stub_" + variant + ".so";
}

}  // namespace hosttest
