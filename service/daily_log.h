// The service's own diagnostic record: one file per day, one line per call.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace duvane {

// The log line as it reaches the file: "yyyy-mm-dd hh:nn:ss " (the time
// separator in place of ":") and the message up to its first zero byte,
// every line feed written as CR LF, then CR LF.
std::string FormatLogLine(const platform::LocalTime& time, std::string_view message,
                          std::string_view timeSeparator = ":");

// "yyyymmdd.txt"
std::string LogFileName(const platform::LocalTime& time);

class DailyLog {
 public:
  // `folder` ends with the folder separator; the service passes its fixed
  // folder. The time separator of the regional settings is read once here.
  explicit DailyLog(std::string folder)
      : folder_(std::move(folder)), timeSeparator_(platform::TimeSeparator()) {}

  // Appends one line to the day's file. Never fails towards the caller: a line
  // that cannot be written is dropped.
  void WriteLog(std::string_view message) const;

  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  std::string timeSeparator_;
};

}  // namespace duvane
