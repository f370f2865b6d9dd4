#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace pellux {

// One log line: #YYYY-MM-DD hh:mm:ss#,"text" CR LF (the date alone between
// the number signs at exactly midnight). The text is written unchanged.
[[nodiscard]] std::string FormatLogLine(const LocalTime& when, const std::string& text);

// Where the live file goes when it is full: ".1" before the extension of its
// name (PelluxMONITOR.1.anc), or at the end of a name that has none.
[[nodiscard]] std::string RolledLogFile(const std::string& path);

// The line that says how many lines were dropped while the log could not
// take them.
[[nodiscard]] std::string DroppedLinesText(std::uint64_t count);

// The first line of a live file begun again, with the bytes of older lines
// that were cut from it.
[[nodiscard]] std::string CutBytesText(std::uint64_t bytes);

// A line as it goes to the file: its time and its bytes in the code page.
struct LogLine {
  LocalTime when;
  std::string bytes;
};

// The live log file and its roll-over. Writes each batch of lines with one
// append; a line that would take the file past the limit first renames it
// to RolledLogFile, replacing the older one, and begins a new live file with
// that line. While the rename is refused (a viewer holds the file, a share
// grants no deletion, the older file is read-only) the live file grows on up
// to twice the limit, and a line beyond that begins it again: the older
// lines are cut, the newest kept, and the new live file opens with the bytes
// cut (CutBytesText). Lines that could not be written (the file cannot be
// written at all, the queue before it was full) are counted, and the count
// goes in before the next line that is written.
class LogFileWriter {
 public:
  LogFileWriter(std::string path, std::uint64_t limitBytes);

  // Before each of its calls on files (the size, an append, the rename, the
  // live file begun again) it stops when cancelled.
  void Write(FileSystem& files, const std::vector<LogLine>& lines, std::uint64_t droppedBefore = 0);

  // From any thread: the monitor ends, and a write under way takes no
  // further step; the call it waits in is the caller's to cancel.
  void Cancel() { cancelled_ = true; }

  // From any thread: false while the last lines could not be written.
  [[nodiscard]] bool TakesLines() const { return takesLines_; }
  // From any thread: the lines that could not be written, since the start.
  [[nodiscard]] std::uint64_t LinesLost() const { return lost_; }

 private:
  std::string path_;
  std::string rolled_;
  std::uint64_t limit_;
  std::uint64_t dropped_ = 0;  // not written, and not yet told in the file
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> takesLines_{true};
  std::atomic<std::uint64_t> lost_{0};
};

}  // namespace pellux
