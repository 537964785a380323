#include "service/daily_log.h"

#include "service/date_text.h"

namespace duvane {
namespace {

bool SameDay(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

std::string FormatLogLine(const platform::LocalTime& t, std::string_view message,
                          std::string_view timeSeparator) {
  message = message.substr(0, message.find('\0'));
  std::string line;
  line.reserve(24 + message.size() + message.size() / 16);
  AppendDate(line, t, '-');
  line.push_back(' ');
  AppendTime(line, t, timeSeparator);
  line.push_back(' ');
  // The files are byte-identical to those of the original platform, whose
  // text-mode streams turned every line feed into CR LF.
  for (;;) {
    const size_t feed = message.find('\n');
    line.append(message.substr(0, feed));
    if (feed == std::string_view::npos) break;
    line += "\r\n";
    message.remove_prefix(feed + 1);
  }
  line += "\r\n";
  return line;
}

std::string LogFileName(const platform::LocalTime& t) {
  std::string name;
  AppendDate(name, t, '\0');
  name += ".txt";
  return name;
}

DailyLog::DailyLog(std::string folder, Clock clock)
    : folder_(std::move(folder)),
      timeSeparator_(platform::TimeSeparator()),
      clock_(std::move(clock)),
      file_(platform::FileAppender::Create()) {}

void DailyLog::WriteLog(std::string_view message) const {
  // One reading of the clock names the file and stamps the line, so a line
  // always lands in the file of the date it carries.
  const platform::LocalTime now = clock_();
  const std::string& path = PathFor(now);
  if (!batching_) {
    file_->Append(path, FormatLogLine(now, message, timeSeparator_));
    return;
  }
  if (!held_.empty() && heldPath_ != path) WriteHeld();
  heldPath_ = path;
  held_ += FormatLogLine(now, message, timeSeparator_);
}

void DailyLog::WriteHeld() const {
  if (held_.empty()) return;
  file_->Append(heldPath_, held_);
  held_.clear();
}

const std::string& DailyLog::PathFor(const platform::LocalTime& time) const {
  if (path_.empty() || !SameDay(time, pathDate_)) {
    path_ = folder_ + LogFileName(time);
    pathDate_ = time;
  }
  return path_;
}

void DailyLog::CloseEndedDay() const {
  if (!path_.empty() && !SameDay(clock_(), pathDate_)) file_->Release();
}

}  // namespace duvane
