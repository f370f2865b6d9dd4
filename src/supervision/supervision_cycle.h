#pragma once
#include <functional>
#include <string>

#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/timers.h"
#include "process/process_services.h"
#include "programs/programs.h"
#include "ui/main_window.h"

namespace pellux {

inline constexpr unsigned kFirstCycleDelayMs = 10;
inline constexpr unsigned kCycleSpacingMs = 3000;

// The 3-second cycle that keeps the bridge in step with the controller: the
// bridge is restarted while the controller runs and terminated once the
// controller has gone. Each cycle ends with the control file and a tray refresh.
class SupervisionCycle {
 public:
  struct Deps {
    Timers& timers;
    EventLog& log;
    SystemEvents& events;
    ProcessServices& processes;
    Launcher& launcher;
    MainWindow& window;
    FileSystem& files;
    const std::string& programFolder;
    const std::string& AppVersion;
    const ProgramTable& programs;
    // The control file read first; empty: only the one beside the monitor.
    const std::string& controlFile;
    std::function<void()> immediateEnd;
  };

  explicit SupervisionCycle(Deps deps) : d_(std::move(deps)) {}

  // The Timer1 tick: disarm, BEFORE line, Pellux_MONITOR, AFTER line, re-arm
  // for 3000 ms (spacing counted from the end of one cycle to the next). The
  // timer is re-armed even when the cycle throws; only END leaves it off.
  void Timer1();

  void Pellux_MONITOR();

 private:
  Deps d_;
  bool ended_ = false;
};

}  // namespace pellux
