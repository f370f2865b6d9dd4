#pragma once
#include <cstdint>
#include <vector>

namespace pellux {

// One top-level window of a process, as the window system sees it.
struct TopLevelWindow {
  std::uint64_t handle = 0;  // the same while the window exists
  bool visible = false;      // minimised ones included; one hidden behind the system's ghost is not
  bool answering = false;    // the system does not judge it not responding
};

// The top-level windows of a process, as the window system sees them.
// Abstract so that the cycle's look at the bridge can be driven by a fake.
class WindowProbe {
 public:
  virtual ~WindowProbe() = default;
  // Lists processId's top-level windows, visible or hidden, into windows (emptied first), with whether each
  // answers as the system judges a window not responding, in one enumeration of the top-level windows; never
  // waits on a window.
  virtual void Look(std::int32_t processId, std::vector<TopLevelWindow>& windows) = 0;
};

}  // namespace pellux
