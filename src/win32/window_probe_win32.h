#pragma once
#include <cstdint>

#include "platform/window_probe.h"

namespace pellux::win32 {

// EnumWindows over the desktop's top-level windows, IsHungAppWindow on each
// of the process's visible ones: the system's own judgement (no message
// for five seconds while input waits), which sends the window nothing and so
// never blocks the cycle on a bridge that hangs.
class Win32WindowProbe final : public WindowProbe {
 public:
  [[nodiscard]] WindowAnswers Look(std::int32_t processId) override;
};

}  // namespace pellux::win32
