#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace pellux {

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
};

}  // namespace pellux
