#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "programs/settings.h"

namespace pellux {

inline constexpr char kLogFileName[] = "PelluxMONITOR.anc";
inline constexpr char kLogBanner[] = "i==============================   MAIN   ==============================";

// What may wait for a log on a share while the share does not answer: a
// cycle over a hundred processes writes some 15 KB, so the network's own
// time-outs (a minute or so) fit several times over.
inline constexpr std::size_t kLogQueueBytes = 1u << 20;
// How long the end of the monitor waits for a log on a share to be written.
inline constexpr std::uint32_t kLogEndWaitMs = 500;

// One log line: #YYYY-MM-DD hh:mm:ss#,"text" CR LF (the date alone between
// the number signs at exactly midnight). The text is written unchanged.
[[nodiscard]] std::string FormatLogLine(const LocalTime& when, const std::string& text);

// The log file beside the monitor, where it is unless the settings name one.
[[nodiscard]] std::string LogFileBeside(const std::string& programFolder);

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

// The optional, append-only event log. Logging is on for the whole run when
// the log file (or a directory of that name) exists at start. A log at a
// place that may block (a share, a network drive) is written by a worker
// thread through a bounded queue, so that the window's thread never waits
// for the network; a local one is written at once.
class EventLog {
 public:
  EventLog(FileSystem& files, Clock& clock);
  // Writes what a batch still holds; waits at most kLogEndWaitMs for the
  // worker.
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // The most the live file may hold, in KB (below kLeastLogLimitKB counts as
  // that). Given before InitLog; kDefaultLogLimitKB when never given.
  void SetLimitKB(std::uint32_t kb);

  // Decides once whether logging is on, by whether a file or directory is
  // at path; when it is, writes the banner there.
  void InitLog(const std::string& path);

  // Appends one line in the ANSI code page when logging is on: at once
  // (open, append, close), or with the batch when one is open. A line that
  // cannot be written is skipped without a word.
  void WriteLogLine(const std::string& text);

  // Writes what the batch holds and what the worker still has, waiting for
  // the worker at most kLogEndWaitMs. For the monitor's end.
  void Finish();

  // The log file's full path, or empty when logging is off.
  [[nodiscard]] const std::string& LogFilePath() const { return LogFilePath_; }
  [[nodiscard]] bool IsOn() const { return !LogFilePath_.empty(); }
  // The time a line written now bears.
  [[nodiscard]] LocalTime Now() { return clock_.Now(); }
  // True when the log is written off the caller's thread.
  [[nodiscard]] bool OffThread() const { return worker_ != nullptr; }
  // Lines the worker's queue had no room for, not yet handed on to be told.
  [[nodiscard]] std::uint64_t QueueDropped() const { return queueDropped_; }
  // False while the last lines handed over were not written (or found no
  // room in the queue): the log takes no lines. For the window's thread.
  [[nodiscard]] bool TakesLines() const;
  // Every line handed over and not written, since the start.
  [[nodiscard]] std::uint64_t LinesLost() const;

 private:
  friend class LogBatch;
  void Hand(std::vector<LogLine> lines);

  struct Shared;  // the writer and the bytes in the worker's queue

  FileSystem& files_;
  Clock& clock_;
  std::string LogFilePath_;
  std::uint64_t limitBytes_ = std::uint64_t{kDefaultLogLimitKB} * 1024;
  int batchDepth_ = 0;
  std::vector<LogLine> batch_;
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<FileWorker> worker_;
  std::uint64_t queueDropped_ = 0;
  std::uint64_t queueLost_ = 0;  // all the queue ever dropped
};

// Gathers the lines written while it lives (a walk of the process list, a
// cycle) and writes them with one open-append-close when it ends, so the file
// is opened once per walk or cycle yet never held between them. Nested
// batches write with the outermost.
class LogBatch {
 public:
  explicit LogBatch(EventLog& log) : log_(log) { ++log_.batchDepth_; }
  ~LogBatch();
  LogBatch(const LogBatch&) = delete;
  LogBatch& operator=(const LogBatch&) = delete;

 private:
  EventLog& log_;
};

}  // namespace pellux
