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
  // returns, or in a batch when the batch ends. Never fails towards the caller: a line that cannot
  // be written is dropped, and writing resumes by itself once the cause is gone.
  void WriteLog(std::string_view message) const;

  // Lets go of the file of a day that has ended. Called regularly, so that
  // no such file stays open while nothing is logged after midnight.
  void CloseEndedDay() const;

  const std::string& Folder() const { return folder_; }

  // While a batch lasts, the lines written are held and reach the file in one
  // write when it ends: one request's lines cost one write, and they are in
  // the file before its reply goes out. A line of another day first writes
  // the held lines to their own day's file. An inner batch adds to the outer.
  class Batch {
   public:
    explicit Batch(const DailyLog& log) : log_(log), outermost_(!log.batching_) {
      log_.batching_ = true;
    }
    ~Batch() {
      if (!outermost_) return;
      log_.WriteHeld();
      log_.batching_ = false;
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    const DailyLog& log_;
    bool outermost_;
  };

 private:
  // The path of the day's file, named once a day.
  const std::string& PathFor(const platform::LocalTime& time) const;
  void WriteHeld() const;

  std::string folder_;
  std::string timeSeparator_;
  Clock clock_;
  std::unique_ptr<platform::FileAppender> file_;
  mutable platform::LocalTime pathDate_;
  mutable std::string path_;
  mutable bool batching_ = false;
  mutable std::string held_;  // whole lines, all of the file at heldPath_
  mutable std::string heldPath_;
};

}  // namespace duvane
