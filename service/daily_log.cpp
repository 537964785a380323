#include "service/daily_log.h"

namespace duvane {
namespace {

// Appends `value` zero-padded to `width` digits, like "%0*d". Every request
// writes several lines, and snprintf was the largest user-space cost of one.
void AppendPadded(std::string& out, int value, int width) {
  if (value < 0) {
    out += std::to_string(value);
    return;
  }
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = count; pad < width; ++pad) out.push_back('0');
  while (count > 0) out.push_back(digits[--count]);
}

// "yyyymmdd" with `separator` between the parts ('\0' for none).
void AppendDate(std::string& out, const platform::LocalTime& t, char separator) {
  AppendPadded(out, t.year, 4);
  if (separator != '\0') out.push_back(separator);
  AppendPadded(out, t.month, 2);
  if (separator != '\0') out.push_back(separator);
  AppendPadded(out, t.day, 2);
}

}  // namespace

std::string FormatLogLine(const platform::LocalTime& t, std::string_view message) {
  message = message.substr(0, message.find('\0'));
  std::string line;
  line.reserve(32 + message.size() + message.size() / 16);
  AppendDate(line, t, '-');
  line.push_back(' ');
  AppendPadded(line, t.hour, 2);
  line.push_back(':');
  AppendPadded(line, t.minute, 2);
  line.push_back(':');
  AppendPadded(line, t.second, 2);
  line.push_back(' ');
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
  std::string name;
  AppendDate(name, t, '\0');
  name += ".txt";
  return name;
}

DailyLog::DailyLog(std::string folder, Clock clock)
    : folder_(std::move(folder)),
      clock_(std::move(clock)),
      file_(platform::FileAppender::Create()) {}

void DailyLog::WriteLog(std::string_view message) const {
  // One reading of the clock names the file and stamps the line, so a line
  // always lands in the file of the date it carries.
  const platform::LocalTime now = clock_();
  lastFileName_ = LogFileName(now);
  file_->Append(folder_ + lastFileName_, FormatLogLine(now, message));
}

void DailyLog::CloseEndedDay() const {
  if (!lastFileName_.empty() && LogFileName(clock_()) != lastFileName_) file_->Release();
}

}  // namespace duvane
