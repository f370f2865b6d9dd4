#pragma once
#include <cstdint>
#include <vector>

#include "platform/window_probe.h"

namespace pellux::win32 {

// EnumWindows over the desktop's top-level windows, IsHungAppWindow on each
// of the process's: the system's own judgement (no message for five seconds
// while input waits), which sends the window nothing and so never blocks the
// cycle on a bridge that hangs.
class Win32WindowProbe final : public WindowProbe {
 public:
  void Look(std::int32_t processId, std::vector<TopLevelWindow>& windows) override;
};

}  // namespace pellux::win32
