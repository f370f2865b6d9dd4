#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/log_file.h"
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

// The log file beside the monitor, where it is unless the settings name one.
[[nodiscard]] std::string LogFileBeside(const std::string& programFolder);

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
