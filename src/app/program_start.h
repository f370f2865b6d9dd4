#pragma once
#include <cstdint>

#include "app/start_wait.h"
#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/platform.h"
#include "process/launched_programs.h"
#include "programs/programs.h"
#include "supervision/supervision_cycle.h"

namespace pellux {

// Start-up's launches: the bridge, then the controller, each adopted when an
// earlier monitor of this session launched it and it still runs, or left to
// another session's monitor (StartWait).
class ProgramStart {
 public:
  struct Deps {
    const Platform& platform;  // the launcher and the buttons
    LaunchedPrograms& launched;
    ClaimFreeBoxes& boxes;
    SystemEvents& events;
    EventLog& log;
    SupervisionCycle& cycle;
    const ProgramTable& programs;
    StartWait& wait;
  };
  explicit ProgramStart(Deps deps) : d_(deps) {}

  // Launches or adopts the bridge, then the controller, or leaves them to
  // another session's monitor; after a box the workstation is looked at
  // again first. While the other sessions cannot be seen, neither yet: each
  // Timer1 tick looks again first.
  void StartPrograms();

 private:
  // Returns the launch's result: the process id, 0 when it failed. The
  // process is recorded before anything waits for a user.
  std::uint32_t LaunchAtStart(const SupervisedProgram& program);
  // A program an earlier monitor of the session launched, still running as
  // processId: its button green and its still-running line instead of a launch.
  void AdoptAtStart(const SupervisedProgram& program, std::int32_t processId);
  void StartBridge(const LaunchedSet& earlier);
  void StartController(const LaunchedSet& earlier, bool waited);
  // After a restart in a session whose monitor launched the controller, or a
  // start-up that waited to see the other sessions: any running javaw.exe of
  // the session that counts as the controller, which is then recorded; none
  // otherwise.
  RecordedProcess AnyControllerAfterRestart(bool waited);

  Deps d_;
};

}  // namespace pellux
