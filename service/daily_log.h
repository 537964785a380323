// The service's own diagnostic record: one file per day, one line per call.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/files.h"

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
  using Clock = std::function<platform::LocalTime()>;

  // `folder` ends with the folder separator; the service passes its fixed
  // folder. The time separator of the regional settings is read once here.
  // Tests may pass a clock of their own.
  explicit DailyLog(std::string folder, Clock clock = platform::NowLocal);

  // Appends one line to the day's file; the line is in the file when this
  // returns. Never fails towards the caller: a line that cannot be written
  // is dropped, and writing resumes by itself once the cause is gone.
  void WriteLog(std::string_view message) const;

  // Lets go of the file of a day that has ended. Called regularly, so that
  // no such file stays open while nothing is logged after midnight.
  void CloseEndedDay() const;

  const std::string& Folder() const { return folder_; }

 private:
  // The path of the day's file, named once a day.
  const std::string& PathFor(const platform::LocalTime& time) const;

  std::string folder_;
  std::string timeSeparator_;
  Clock clock_;
  std::unique_ptr<platform::FileAppender> file_;
  mutable platform::LocalTime pathDate_;
  mutable std::string path_;
};

}  // namespace duvane
