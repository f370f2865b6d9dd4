#pragma once
#include <cstdint>

namespace pellux {

// What the system says of one process's top-level windows.
struct WindowAnswers {
  std::uint32_t windows = 0;    // its visible top-level windows, minimised ones included
  std::uint32_t answering = 0;  // those of them the system does not judge not responding
};

// The top-level windows of a process, as the window system sees them.
// Abstract so that the cycle's look at the bridge can be driven by a fake.
class WindowProbe {
 public:
  virtual ~WindowProbe() = default;
  // Counts processId's visible top-level windows and how many of them answer, as the system judges a window not
  // responding, in one enumeration of the top-level windows; never waits on a window.
  [[nodiscard]] virtual WindowAnswers Look(std::int32_t processId) = 0;
};

}  // namespace pellux
