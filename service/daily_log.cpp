#include "service/daily_log.h"

#include <cstdio>

#include "platform/files.h"

namespace duvane {

std::string FormatLogLine(const platform::LocalTime& t, std::string_view message) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  std::string line(stamp);
  message = message.substr(0, message.find('\0'));
  line.reserve(line.size() + message.size() + 8);
  // The files are byte-identical to those of the original platform, whose
  // text-mode streams turned every line feed into CR LF.
  for (char c : message) {
    if (c == '\n') line.push_back('\r');
    line.push_back(c);
  }
  line += "\r\n";
  return line;
}

std::string LogFileName(const platform::LocalTime& t) {
  char name[32];
  std::snprintf(name, sizeof name, "%04d%02d%02d.txt", t.year, t.month, t.day);
  return name;
}

void DailyLog::WriteLog(std::string_view message) const {
  // One reading of the clock names the file and stamps the line, so a line
  // always lands in the file of the date it carries.
  const platform::LocalTime now = platform::NowLocal();
  platform::AppendToFile(folder_ + LogFileName(now), FormatLogLine(now, message));
}

}  // namespace duvane
