#include "supervision/supervision_cycle.h"

#include "common/colours.h"
#include "common/scope_exit.h"
#include "programs/programs.h"
#include "supervision/control_file.h"

namespace pellux {

void SupervisionCycle::Timer1() {
  if (ended_) return;
  // Disarmed first, so that no tick can arrive while the cycle runs; the
  // spacing is counted from the end of this cycle.
  d_.timers.Disarm(TimerId::Timer1);
  // Re-armed on every way out, an exception included (a failed allocation in
  // a scan, the control-file read or a log line): the window drops what
  // escapes, and a cycle that never re-armed would end supervision for good.
  // Only the END command leaves it disarmed.
  const ScopeExit rearm([this] {
    if (!ended_) d_.timers.Arm(TimerId::Timer1, kCycleSpacingMs);
  });
  d_.log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
  Pellux_MONITOR();
  if (ended_) return;
  d_.log.WriteLogLine("Timer1 - AFTER 'CALL Pellux_MONITOR'");
}

void SupervisionCycle::Pellux_MONITOR() {
  // Any Java program counts as the controller.
  d_.processes.IsProcessRunning(kController.runningCheckName);
  if (!d_.processes.Found()) {
    const KillOutcome killed = d_.processes.Kill_Process(kBridge.stopName);
    if (killed.terminated) d_.events.BridgeTerminated(killed.processId);
  } else {
    d_.processes.IsProcessRunning(kBridge.runningCheckName);
    if (!d_.processes.Found()) {
      const std::uint32_t result = Launch(d_.launcher, kBridge);
      if (result == 0) {
        d_.window.ShowStatusMessage(kBridge.notStarted, kRed, kWhite);
        d_.window.Controls().SetButtonColour(kBridge.button, kRed);
      } else {
        d_.window.Controls().SetButtonColour(kBridge.button, kGreen);
      }
      d_.log.WriteLogLine(LaunchLogLine(kBridge, result));
      d_.events.BridgeRelaunched(result);
    }
  }
  d_.events.CycleDone();

  const ControlOutcome outcome = EvaluateControlFile(d_.files, d_.programFolder, d_.AppVersion);
  d_.events.ControlFile(outcome.state, outcome.tip, outcome.command, outcome.file);
  if (outcome.end) {
    ended_ = true;
    d_.immediateEnd();
    return;
  }
  // Refreshed on every cycle, changed or not.
  d_.window.CHANGE_TRAY_ICON(outcome.picture, outcome.tip);
}

}  // namespace pellux
