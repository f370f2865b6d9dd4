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
    if (!ended_) (void)d_.timers.Arm(TimerId::Timer1, kCycleSpacingMs);  // made at start, re-armed
  });
  d_.log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
  Pellux_MONITOR();
  if (ended_) return;
  d_.log.WriteLogLine("Timer1 - AFTER 'CALL Pellux_MONITOR'");
}

void SupervisionCycle::ControllerLaunched() {
  controllerStarting_ = true;
  controllerLaunchedMs_ = d_.clock.Milliseconds();
}

void SupervisionCycle::SessionEnding() {
  sessionEnding_ = true;
  sessionQueryMs_ = d_.clock.Milliseconds();
}

bool SupervisionCycle::ControllerStarting(std::uint64_t now) {
  if (controllerStarting_ && now - controllerLaunchedMs_ >= kControllerStartGraceMs)
    controllerStarting_ = false;
  return controllerStarting_;
}

bool SupervisionCycle::SessionIsEnding(std::uint64_t now) {
  if (sessionEnding_ && now - sessionQueryMs_ >= kSessionEndAnswerMs) sessionEnding_ = false;
  return sessionEnding_;
}

void SupervisionCycle::Pellux_MONITOR() {
  const std::uint64_t now = d_.clock.Milliseconds();
  // While the session ends the programs get their own end-of-session
  // messages and may go first: a bridge ended or started now would only
  // give false alarms into a dying session.
  if (!SessionIsEnding(now)) KeepBridgeInStep(now);
  d_.events.CycleDone();

  const ControlOutcome outcome = EvaluateControlFile(d_.files, d_.controlFile, d_.programFolder,
                                                    d_.AppVersion);
  for (const DistantLocation& location : outcome.distant)
    d_.events.DistantControlFile(location.path, location.answered);
  d_.events.ControlFile(outcome.state, outcome.tip, outcome.command, outcome.file);
  if (outcome.end) {
    ended_ = true;
    d_.immediateEnd();
    return;
  }
  // Refreshed on every cycle, changed or not.
  d_.window.CHANGE_TRAY_ICON(outcome.picture, outcome.tip);
}

void SupervisionCycle::KeepBridgeInStep(std::uint64_t now) {
  // Any Java program counts as the controller.
  d_.processes.IsProcessRunning(d_.programs.controller.runningCheckName);
  if (!d_.processes.Found()) {
    // Just after start-up the controller's launcher has not yet started
    // javaw.exe: ending the bridge now would bounce it at every start.
    if (ControllerStarting(now)) return;
    const KillOutcome killed = d_.processes.Kill_Process(d_.programs.bridge.stopName);
    if (killed.terminated) d_.events.BridgeTerminated(killed.processId);
    return;
  }
  controllerStarting_ = false;  // seen once: from now on its absence counts at once
  d_.processes.IsProcessRunning(d_.programs.bridge.runningCheckName);
  if (d_.processes.Found()) return;
  const std::uint32_t result = Launch(d_.launcher, d_.programs.bridge);
  if (result == 0) {
    d_.window.ShowStatusMessage(d_.programs.bridge.notStarted, kRed, kWhite);
    d_.window.Controls().SetButtonColour(d_.programs.bridge.button, kRed);
  } else {
    d_.window.Controls().SetButtonColour(d_.programs.bridge.button, kGreen);
  }
  d_.log.WriteLogLine(LaunchLogLine(d_.programs.bridge, result));
  d_.events.BridgeRelaunched(result);
}

}  // namespace pellux
