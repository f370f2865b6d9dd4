#pragma once
#include <cstdint>
#include <string>

namespace pellux {

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts the executable at path (UTF-8) as a new process, its window
  // minimised and not taking the focus, in workingFolder. Returns the new
  // process's id, or 0 when no process was started. Leaves no handle open.
  // created, when given, receives the new process's creation time (as
  // ProcessTable::CreationTime gives it), read before the process can have
  // ended; 0 when it could not be read.
  [[nodiscard]] virtual std::uint32_t StartMinimised(const std::string& path, const std::string& workingFolder,
                                                     std::uint64_t* created) = 0;
};

}  // namespace pellux
