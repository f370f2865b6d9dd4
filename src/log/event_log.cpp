#include "log/event_log.h"

#include <cstdio>

namespace pellux {

std::string FormatLogLine(const LocalTime& when, const std::string& text) {
  char stamp[32];
  if (when.hour == 0 && when.minute == 0 && when.second == 0) {
    std::snprintf(stamp, sizeof stamp, "#%04d-%02d-%02d#", when.year, when.month, when.day);
  } else {
    std::snprintf(stamp, sizeof stamp, "#%04d-%02d-%02d %02d:%02d:%02d#", when.year, when.month,
                  when.day, when.hour, when.minute, when.second);
  }
  std::string line;
  line.reserve(sizeof stamp + text.size() + 5);
  line += stamp;
  line += ",\"";
  line += text;
  line += "\"\r\n";
  return line;
}

std::string LogFileBeside(const std::string& programFolder) {
  return programFolder + "\\" + kLogFileName;
}

void EventLog::InitLog(const std::string& path) {
  if (files_.Exists(path)) {
    LogFilePath_ = path;
    WriteLogLine(kLogBanner);
  } else {
    LogFilePath_.clear();
  }
}

void EventLog::WriteLogLine(const std::string& text) {
  if (LogFilePath_.empty()) return;
  // A line that cannot be written (read-only file, a directory of that name,
  // a full disk) is dropped: the log must never stop the monitor.
  // The core's texts are UTF-8; the file stays in the ANSI code page its
  // readers have always had, so a path read in a scan keeps its bytes.
  (void)files_.Append(LogFilePath_, files_.ToCodePage(FormatLogLine(clock_.Now(), text)));
}

}  // namespace pellux
