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
  [[nodiscard]] virtual std::uint32_t StartMinimised(const std::string& path,
                                                     const std::string& workingFolder) = 0;
};

}  // namespace pellux
