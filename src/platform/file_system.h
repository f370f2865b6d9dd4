#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pellux {

// What a look at a file in a location that may block answered.
enum class LookAnswer { Absent, Present, Unanswered };
struct DistantLook {
  LookAnswer answer = LookAnswer::Unanswered;
  std::optional<std::string> head;  // Present: what ReadHead would give
};

// A look under way off the caller's thread; 0 is none.
using LookId = std::uint64_t;

class FileSystem;

// A thread of its own that runs file jobs one after another, in the order
// they were handed over, on a file system of its own: for writes to a place
// that may block, so that whoever hands them over never waits for the network.
class FileWorker {
 public:
  // Never waits for a job the network holds: the jobs not yet begun are
  // dropped, the call under way is cancelled and every later call of the job
  // fails at once, and the thread leaves once that call has answered.
  virtual ~FileWorker() = default;

  // Hands job over, to run after those before it. False when it will not
  // run (no thread could be had).
  [[nodiscard]] virtual bool Post(std::function<void(FileSystem&)> job) = 0;

  // Waits at most waitMs for every job handed over to have run. True when
  // they have; false when one is still held.
  [[nodiscard]] virtual bool Drain(std::uint32_t waitMs) = 0;
};

// Files as the monitor uses them: existence tests, one-line appends and a
// bounded read. Paths are UTF-8 (the program folder may lie outside the
// system code page); contents are bytes, written and read unchanged.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when a file or a directory exists at path. False for an absent or
  // not-ready drive; never raises a system box.
  [[nodiscard]] virtual bool Exists(const std::string& path) = 0;

  // Opens path for appending (creating it when absent), writes bytes, closes
  // it again. False when any step failed; nothing is left open.
  [[nodiscard]] virtual bool Append(const std::string& path, const std::string& bytes) = 0;

  // Empties the file at path and writes bytes into it, through an open that
  // shares it for reading, writing and deleting: a viewer that lets Append
  // write does not keep it from being emptied, where Replace needs it shared
  // for deletion. False when any step failed (absent, a directory, held
  // without write sharing, mapped by a viewer); nothing is left open.
  [[nodiscard]] virtual bool Overwrite(const std::string& path, const std::string& bytes) = 0;

  // The size in bytes of the file at path, asked without opening it.
  // nullopt when nothing is there, a directory is, or the drive is not ready.
  [[nodiscard]] virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;

  // Renames the file from to to, replacing a file already at to. False when
  // refused (either held open without sharing for deletion, absent, a
  // directory); both are then left as they were.
  [[nodiscard]] virtual bool Replace(const std::string& from, const std::string& to) = 0;

  // Reads at most maxBytes from the start of the file at path, sharing it with
  // its writer. nullopt when it cannot be opened or read (absent, a directory,
  // held open without sharing, drive not ready).
  [[nodiscard]] virtual std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) = 0;

  // The text (UTF-8, as every text in the core) in the system's ANSI code
  // page, as the readers of the monitor's own text files expect: what the
  // system's ANSI calls would have given for it, a character that the code
  // page lacks by its nearest look-alike or '?'. ASCII is the same in every
  // ANSI code page: such a text comes back as it went in, without a copy.
  [[nodiscard]] virtual std::string ToCodePage(std::string text) = 0;

  // True when a look at path may wait long for the network: a share
  // (\\server\share\...) or a drive mapped to one. Decided from the path and
  // the drive's kind, without reaching the network.
  [[nodiscard]] virtual bool MayBlock(const std::string& path) = 0;

  // Starts Exists and, when something is there, ReadHead (at most maxBytes)
  // of path off the caller's thread, and returns at once. 0 when no look
  // could be started. Each look started is taken or cancelled once.
  [[nodiscard]] virtual LookId StartLook(const std::string& path, std::size_t maxBytes) = 0;

  // Waits at most waitMs for look to answer; true once it has.
  [[nodiscard]] virtual bool LookAnswered(LookId look, std::uint32_t waitMs) = 0;

  // The answer of a look that has answered; the look is then forgotten.
  [[nodiscard]] virtual DistantLook TakeLook(LookId look) = 0;

  // Cancels the I/O of a look that has not answered and forgets it; its
  // worker leaves as soon as the network lets it go.
  virtual void CancelLook(LookId look) = 0;

  // A worker thread for writes to a place that may block. nullptr when no
  // thread can be had.
  [[nodiscard]] virtual std::unique_ptr<FileWorker> StartWorker() = 0;
};

}  // namespace pellux
