#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/process_ends.h"
#include "platform/supervision_mark.h"
#include "platform/timers.h"
#include "platform/window_probe.h"
#include "process/launched_programs.h"
#include "process/process_services.h"
#include "programs/programs.h"
#include "supervision/control_file.h"
#include "supervision/controller_start.h"
#include "supervision/hung_bridge.h"
#include "supervision/session_marks.h"
#include "supervision/watched_ends.h"
#include "ui/main_window.h"

namespace pellux {

inline constexpr unsigned kFirstCycleDelayMs = 10;
inline constexpr unsigned kCycleSpacingMs = 3000;
// The cycle brought forward by a supervised program's end runs this soon.
inline constexpr unsigned kEndSeenDelayMs = 10;
// From the system's question whether the session may end until its answer:
// a shutdown that was neither carried out nor cancelled in this time is taken
// as cancelled, and supervision goes on.
inline constexpr std::uint64_t kSessionEndAnswerMs = std::uint64_t{60} * 1000;

// The 3-second cycle that keeps the bridge in step with the controller: the
// bridge is restarted while the controller runs and terminated once the
// controller has gone. Each cycle ends with the control file and a tray refresh.
class SupervisionCycle {
 public:
  struct Deps {
    Timers& timers;
    Clock& clock;
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
    // What the monitor launched and records for a later monitor of the
    // session; none: nothing is recorded, the launcher counts as ended.
    LaunchedPrograms* launched = nullptr;
    // Timer1 could not be armed again: the monitor cannot supervise.
    std::function<void()> timerLost;
    // Called by every cycle that finds start-up's controller launch settled
    // (javaw.exe seen, or its grace over): the workstation's claim to launch
    // is given up then. Not once only: a start-up that waited until the other
    // sessions could be seen takes the claim after such cycles.
    std::function<void()> launchSettled;
    // True while a monitor of another session holds the workstation's claim
    // to launch: its programs may not show yet. None: never.
    std::function<bool()> claimedElsewhere;
    // The bridge's windows, looked at only once WatchBridgeWindows is given
    // its seconds. None: never looked at.
    WindowProbe* windows = nullptr;
    // This session's mark of a supervising monitor, and every other
    // session's; none: no session holds one.
    SupervisionMark* mark = nullptr;
    // The ends of the controller and the bridge the cycle supervises, told
    // at once; none: only the 3-second cycle sees them.
    ProcessEnds* ends = nullptr;
  };

  explicit SupervisionCycle(Deps deps) : d_(std::move(deps)) {}
  SupervisionCycle(const SupervisionCycle&) = delete;
  SupervisionCycle& operator=(const SupervisionCycle&) = delete;

  // The Timer1 tick: disarm, BEFORE line, Pellux_MONITOR, AFTER line, re-arm
  // for 3000 ms (spacing counted from the end of one cycle to the next), or
  // for kEndSeenDelayMs when a supervised program's end was told meanwhile.
  // The timer is re-armed even when the cycle throws; only END leaves it off.
  void Timer1();

  void Pellux_MONITOR();

  // Start-up launched the controller's launcher (its launch succeeded) just
  // now, or found the one an earlier monitor launched still running.
  void ControllerLaunched(const RecordedProcess& launcher = {}) { start_.Launched(launcher, d_.clock.Milliseconds()); }
  // The session may be about to end: until SessionGoesOn, or for at most
  // kSessionEndAnswerMs, the cycle neither launches nor terminates; it still
  // reads the control file and refreshes the tray.
  void SessionEnding();
  void SessionGoesOn() { sessionEnding_ = false; }
  // Start-up launched nothing because another logon session's monitor
  // supervises the programs (or is launching them), or a bridge runs in
  // another session: from now on the cycle launches and ends nothing and
  // writes no event, until no other monitor holds its mark or the claim to
  // launch and no bridge runs in another session; this session's own Java
  // programs count for nothing here. It then says so and supervises as usual
  // from the next cycle.
  void WaitForOtherSession() { marks_.WaitForOtherSession(); }

  // From now on a bridge whose top-level windows all go unanswered for
  // seconds in a row is ended (those shown, and those seen shown that are
  // hidden since without an answer: behind the system's ghost), and the next
  // cycle starts it again as it starts a missing one; 0: the windows are
  // never looked at. Never while the monitor holds, waits for another session
  // or the session ends, and at most once every seconds.
  void WatchBridgeWindows(std::uint32_t seconds) { hung_.SetLimit(seconds); }

  // The monitor ends: a look at the control file that the network still
  // holds is cancelled, so that nothing outlives the monitor for long.
  void CancelLooks() { looks_.CancelAll(); }

  // A watched program may have ended: the handles of those that did are
  // given up and Timer1 is brought forward, so that the cycle, with all its
  // rules, runs at once; not for a bridge that ran for less than a cycle,
  // which waits for the next regular one, as a bridge that cannot stay up
  // is started no more often than once a cycle (a bridge it did not launch
  // counts from the first look that found it).
  void ProgramEnded();
  // What the operator's click is about to end is no end to answer early: the
  // handles are given up, and the next regular cycle watches again.
  void ForgetEnds();

 private:
  [[nodiscard]] bool SessionIsEnding(std::uint64_t now);
  void KeepBridgeInStep(std::uint64_t now);
  void RelaunchBridge(std::uint64_t now);
  // Looks at the windows of bridgeFound_, ends it once they have not
  // answered for the limit and says so.
  void JudgeBridgeWindows(std::uint64_t now, bool holding);

  Deps d_;
  DistantLooks looks_{d_.files};
  bool ended_ = false;
  ControllerStart start_{d_.launched, d_.programs};
  bool sessionEnding_ = false;
  std::uint64_t sessionQueryMs_ = 0;
  SessionMarks marks_{{d_.processes, d_.window, d_.log, d_.events, d_.programs, d_.claimedElsewhere, d_.mark}};
  std::int32_t bridgeFound_ = 0;  // the bridge this cycle's look found running
  HungBridge hung_;
  // The handles on the supervised programs are given up with the cycle.
  WatchedEnds ends_{d_.ends};
  bool inCycle_ = false;  // an end told meanwhile brings the next cycle forward
  bool earlyAsked_ = false;
  std::optional<std::uint64_t> dueMs_;  // when Timer1 was last armed to tick; none before the first cycle
  bool earlyTick_ = false;              // the tick armed last was brought forward
  std::optional<std::uint64_t> lastRelaunchMs_;
};

}  // namespace pellux
