#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pellux {

// What a look at a file in a location that may block answered in time.
enum class LookAnswer { Absent, Present, Unanswered };
struct DistantLook {
  LookAnswer answer = LookAnswer::Unanswered;
  std::optional<std::string> head;  // Present: what ReadHead would give
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

  // Reads at most maxBytes from the start of the file at path, sharing it with
  // its writer. nullopt when it cannot be opened or read (absent, a directory,
  // held open without sharing, drive not ready).
  [[nodiscard]] virtual std::optional<std::string> ReadHead(const std::string& path,
                                                            std::size_t maxBytes) = 0;

  // The text (UTF-8, as every text in the core) in the system's ANSI code
  // page, as the readers of the monitor's own text files expect: what the
  // system's ANSI calls would have given for it, a character that the code
  // page lacks by its nearest look-alike or '?'.
  [[nodiscard]] virtual std::string ToCodePage(const std::string& text) = 0;

  // True when a look at path may wait long for the network: a share
  // (\\server\share\...) or a drive mapped to one. Decided from the path and
  // the drive's kind, without reaching the network.
  [[nodiscard]] virtual bool MayBlock(const std::string& path) = 0;

  // Exists and, when something is there, ReadHead, done off the caller's
  // thread; waits at most waitMs for them. Unanswered when they did not
  // answer in time, and at once, starting nothing, while an earlier look at
  // the same path still waits for its answer: at most one look per path is
  // ever outstanding, however long the network keeps it.
  [[nodiscard]] virtual DistantLook LookWithin(const std::string& path, std::size_t maxBytes,
                                               std::uint32_t waitMs) = 0;
};

}  // namespace pellux
