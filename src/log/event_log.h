#pragma once
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace pellux {

inline constexpr char kLogFileName[] = "PelluxMONITOR.anc";
inline constexpr char kLogBanner[] =
    "i==============================   MAIN   ==============================";

// One log line: #YYYY-MM-DD hh:mm:ss#,"text" CR LF (the date alone between
// the number signs at exactly midnight). The text is written unchanged.
[[nodiscard]] std::string FormatLogLine(const LocalTime& when, const std::string& text);

// The log file beside the monitor, where it is unless the settings name one.
[[nodiscard]] std::string LogFileBeside(const std::string& programFolder);

// The optional, append-only event log. Logging is on for the whole run when
// the log file (or a directory of that name) exists at start.
class EventLog {
 public:
  EventLog(FileSystem& files, Clock& clock) : files_(files), clock_(clock) {}

  // Decides once whether logging is on, by whether a file or directory is
  // at path; when it is, writes the banner there.
  void InitLog(const std::string& path);

  // Appends one line (open, append, close) in the ANSI code page when logging
  // is on. A line that cannot be written is skipped without a word.
  void WriteLogLine(const std::string& text);

  // The log file's full path, or empty when logging is off.
  [[nodiscard]] const std::string& LogFilePath() const { return LogFilePath_; }
  [[nodiscard]] bool IsOn() const { return !LogFilePath_.empty(); }

 private:
  FileSystem& files_;
  Clock& clock_;
  std::string LogFilePath_;
};

}  // namespace pellux
