#include "log/event_log.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string_view>
#include <utility>

namespace pellux {

std::string LogFileBeside(const std::string& programFolder) { return programFolder + "\\" + kLogFileName; }

struct EventLog::Shared {
  Shared(std::string path, std::uint64_t limit) : writer(std::move(path), limit) {}
  LogFileWriter writer;  // touched by the worker alone once it runs
  std::atomic<std::size_t> queued{0};
};

EventLog::EventLog(FileSystem& files, Clock& clock) : files_(files), clock_(clock) {}

EventLog::~EventLog() {
  try {
    Finish();
  } catch (...) {
  }
}

void EventLog::SetLimitKB(std::uint32_t kb) { limitBytes_ = std::uint64_t{std::max(kb, kLeastLogLimitKB)} * 1024; }

void EventLog::InitLog(const std::string& path) {
  worker_.reset();
  shared_.reset();
  if (!files_.Exists(path)) {
    LogFilePath_.clear();
    return;
  }
  LogFilePath_ = path;
  shared_ = std::make_shared<Shared>(path, limitBytes_);
  // A share may stall for the network's whole time-out at every write: its
  // lines are written by a worker. Without a worker they are written here,
  // as a local log is.
  if (files_.MayBlock(path)) worker_ = files_.StartWorker();
  WriteLogLine(kLogBanner);
}

void EventLog::WriteLogLine(const std::string& text) {
  if (LogFilePath_.empty()) return;
  // The core's texts are UTF-8; the file stays in the ANSI code page its
  // readers have always had, so a path read in a scan keeps its bytes.
  const LocalTime when = clock_.Now();
  LogLine line{when, files_.ToCodePage(FormatLogLine(when, text))};
  if (batchDepth_ > 0) {
    batch_.push_back(std::move(line));
    return;
  }
  std::vector<LogLine> one;
  one.push_back(std::move(line));
  Hand(std::move(one));
}

void EventLog::Hand(std::vector<LogLine> lines) {
  if (lines.empty() || !shared_) return;
  // A line that cannot be written (read-only file, a directory of that name,
  // a full disk) is dropped: the log must never stop the monitor.
  if (!worker_) {
    shared_->writer.Write(files_, lines);
    return;
  }
  std::size_t bytes = 0;
  for (const LogLine& line : lines) bytes += line.bytes.size();
  // Beyond the bound the lines are dropped here and counted; the count goes
  // with the next batch that finds room.
  if (shared_->queued.load() + bytes > kLogQueueBytes) {
    queueDropped_ += lines.size();
    queueLost_ += lines.size();
    return;
  }
  shared_->queued += bytes;
  const std::uint64_t dropped = std::exchange(queueDropped_, 0);
  auto batch = std::make_shared<const std::vector<LogLine>>(std::move(lines));
  // The job holds the writer and its lines itself: a worker the network
  // keeps past the monitor's end touches nothing else.
  const bool posted = worker_->Post([shared = shared_, batch, bytes, dropped](FileSystem& files) {
    shared->writer.Write(files, *batch, dropped);
    shared->queued -= bytes;
  });
  if (!posted) {
    shared_->queued -= bytes;
    queueDropped_ += dropped + batch->size();
    queueLost_ += batch->size();
  }
}

bool EventLog::TakesLines() const { return queueDropped_ == 0 && (!shared_ || shared_->writer.TakesLines()); }

std::uint64_t EventLog::LinesLost() const { return queueLost_ + (shared_ ? shared_->writer.LinesLost() : 0); }

void EventLog::Finish() {
  // An end in the middle of a cycle (END in the control file) never comes
  // back to close the batch.
  Hand(std::exchange(batch_, {}));
  // A share that hangs keeps the rest: the worker is let go, its write
  // given up at its next step, and no later line waits behind it.
  if (worker_ && !worker_->Drain(kLogEndWaitMs)) {
    shared_->writer.Cancel();
    worker_.reset();
    shared_.reset();
  }
}

LogBatch::~LogBatch() {
  if (--log_.batchDepth_ > 0) return;
  // Runs while an exception leaves the cycle as well: the lines gathered so
  // far are still written, and nothing escapes from here.
  try {
    log_.Hand(std::exchange(log_.batch_, {}));
  } catch (...) {
  }
}

}  // namespace pellux
