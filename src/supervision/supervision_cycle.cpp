#include "supervision/supervision_cycle.h"

#include <optional>
#include <utility>

#include "common/colours.h"
#include "common/scope_exit.h"
#include "common/upper_case.h"
#include "programs/programs.h"
#include "supervision/control_file.h"

namespace pellux {

void SupervisionCycle::Timer1() {
  // A cycle never runs inside another, whatever a step of it lets through.
  if (ended_ || inCycle_) return;
  // Disarmed first, so that no tick can arrive while the cycle runs; the
  // spacing is counted from the end of this cycle.
  d_.timers.Disarm(TimerId::Timer1);
  inCycle_ = true;
  // Re-armed on every way out, an exception included (a failed allocation in
  // a scan, the control-file read or a log line): the window drops what
  // escapes, and a cycle that never re-armed would end supervision for good.
  // Only the END command leaves it disarmed.
  const ScopeExit rearm([this] {
    inCycle_ = false;
    earlyTick_ = std::exchange(earlyAsked_, false);
    const unsigned next = earlyTick_ ? kEndSeenDelayMs : kCycleSpacingMs;
    dueMs_ = d_.clock.Milliseconds() + next;
    if (ended_ || d_.timers.Arm(TimerId::Timer1, next)) return;
    // Without Timer1 no cycle would ever run again: as when it could not
    // be armed at start, the monitor says so and ends.
    ended_ = true;
    if (d_.timerLost) d_.timerLost();
  });
  // The cycle's lines, its walks' included, go to the file with one
  // open-append-close, before Timer1 is armed again.
  const LogBatch batch(d_.log);
  d_.log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
  Pellux_MONITOR();
  if (ended_) return;
  d_.log.WriteLogLine("Timer1 - AFTER 'CALL Pellux_MONITOR'");
}

void SupervisionCycle::ProgramEnded() {
  if (ended_ || d_.ends == nullptr) return;
  const std::uint64_t now = d_.clock.Milliseconds();
  if (!ends_.TakeEnded(now, kCycleSpacingMs)) return;
  if (inCycle_) {
    earlyAsked_ = true;
    return;
  }
  // Only ever brought forward: the tick decides, with every rule it has.
  if (dueMs_ && now + kEndSeenDelayMs >= *dueMs_) return;
  dueMs_ = now + kEndSeenDelayMs;
  earlyTick_ = true;
  if (d_.timers.Arm(TimerId::Timer1, kEndSeenDelayMs) || d_.timers.Arm(TimerId::Timer1, kCycleSpacingMs)) return;
  ended_ = true;
  if (d_.timerLost) d_.timerLost();
}

void SupervisionCycle::ForgetEnds() {
  const std::uint64_t now = d_.clock.Milliseconds();
  ends_.WatchController(0, 0, now);
  ends_.WatchBridge(0, 0, now);
}

void SupervisionCycle::SessionEnding() {
  sessionEnding_ = true;
  sessionQueryMs_ = d_.clock.Milliseconds();
}

bool SupervisionCycle::SessionIsEnding(std::uint64_t now) {
  if (sessionEnding_ && now - sessionQueryMs_ >= kSessionEndAnswerMs) sessionEnding_ = false;
  return sessionEnding_;
}

void SupervisionCycle::Pellux_MONITOR() {
  const std::uint64_t now = d_.clock.Milliseconds();
  bridgeFound_ = 0;
  // While the session ends the programs get their own end-of-session
  // messages and may go first: a bridge ended or started now would only
  // give false alarms into a dying session.
  if (marks_.Waiting()) {
    // Nothing here is this monitor's to supervise while it waits.
    ends_.WatchController(0, 0, now);
    ends_.WatchBridge(0, 0, now);
    marks_.LookForOwnSession();
  } else if (!SessionIsEnding(now)) {
    KeepBridgeInStep(now);
    if (!start_.Pending() && d_.launchSettled) d_.launchSettled();
  }
  // The lines of the cycles before: this one's are written once it is done.
  if (d_.log.IsOn()) d_.events.LogFile(d_.log.LogFilePath(), d_.log.TakesLines(), d_.log.LinesLost());
  d_.events.CycleDone();

  const ControlOutcome outcome = EvaluateControlFile(d_.files, looks_, d_.controlFile, d_.programFolder, d_.AppVersion);
  for (const DistantLocation& location : outcome.distant)
    d_.events.DistantControlFile(location.path, location.answered);
  d_.events.ControlFile(outcome.state, outcome.tip, outcome.command, outcome.file);
  if (outcome.end) {
    ended_ = true;
    d_.immediateEnd();
    return;
  }
  JudgeBridgeWindows(now, outcome.state == ControlState::Holding);
  // Refreshed on every cycle, changed or not.
  d_.window.CHANGE_TRAY_ICON(outcome.picture, outcome.tip);
}

void SupervisionCycle::KeepBridgeInStep(std::uint64_t now) {
  start_.LookForJavaw(now);
  // Any Java program counts as the controller.
  d_.processes.IsProcessRunning(d_.programs.controller.runningCheckName);
  if (!d_.processes.Found()) {
    // Just after start-up the controller's launcher has not yet started
    // javaw.exe: ending the bridge now would bounce it at every start.
    ends_.WatchController(0, 0, now);
    if (start_.Starting(now)) {
      marks_.KeepMark(true);  // the bridge launched beside it runs
      return;
    }
    // What the cycle ends itself is no end to answer.
    ends_.WatchBridge(0, 0, now);
    const KillOutcome killed = d_.processes.Kill_Process(d_.programs.bridge.stopName);
    if (killed.terminated) d_.events.BridgeTerminated(killed.processId);
    // A bridge ran here until now, or runs on, refusing its end.
    marks_.KeepMark(killed.processId != 0 || killed.refused);
    return;
  }
  marks_.KeepMark(true);
  start_.Seen();
  ends_.WatchController(d_.processes.FoundId(), d_.processes.FoundCreated(), now);
  d_.processes.IsProcessRunning(d_.programs.bridge.runningCheckName);
  if (d_.processes.Found()) {
    bridgeFound_ = d_.processes.FoundId();
    ends_.WatchBridge(bridgeFound_, d_.processes.FoundCreated(), now);
    return;
  }
  ends_.WatchBridge(0, 0, now);
  // A cycle brought forward (by the controller's end, say) starts no bridge
  // within a cycle of the last start: one that cannot stay up is started
  // again no more often than once a cycle.
  if (earlyTick_ && lastRelaunchMs_ && now - *lastRelaunchMs_ < kCycleSpacingMs) return;
  lastRelaunchMs_ = now;
  RelaunchBridge(now);
}

void SupervisionCycle::JudgeBridgeWindows(std::uint64_t now, bool holding) {
  if (!hung_.Watching() || d_.windows == nullptr) return;
  // Only a bridge this cycle found while it supervises: not while it holds,
  // waits for another session or the session ends. A cycle that does not
  // look breaks the run of unanswered looks.
  const std::int32_t bridge = holding ? 0 : bridgeFound_;
  const std::optional<std::uint64_t> unansweredFor = hung_.Judge(*d_.windows, bridge, now);
  if (!unansweredFor) return;
  // Started again by the next regular cycle, as a missing bridge is.
  if (ends_.BridgeId() == bridge) ends_.WatchBridge(0, 0, now);
  const KillOutcome ended = d_.processes.EndProcessId(bridge);
  if (!ended.terminated) return;
  const SupervisedProgram& program = d_.programs.bridge;
  const std::uint64_t seconds = *unansweredFor / 1000;
  const std::string line = program.notResponding + " - TERMINADO - PID: " + std::to_string(bridge) + " - " +
                           std::to_string(seconds) + " Segundos";
  d_.window.ShowStatusMessage(program.notResponding, kRed, kWhite);
  d_.log.WriteLogLine(line);
  d_.events.BridgeHung(line, bridge, seconds);
}

void SupervisionCycle::RelaunchBridge(std::uint64_t now) {
  if (marks_.BridgeInOtherSession() || marks_.LeftToOtherSession()) return;
  if (d_.launched != nullptr) {
    // Started again every cycle while the last one runs on under a name the
    // check does not match: said once, so that the setting gets mended.
    const RecordedProcess last = d_.launched->Current().bridge;
    const std::optional<std::string> name = d_.launched->RunningName(last);
    const std::string& check = d_.programs.bridge.runningCheckName;
    if (name && !NameEndsWith(*name, check)) d_.events.BridgeUnderOtherName(*name, last.id);
  }
  std::uint64_t created = 0;
  const std::uint32_t result = Launch(d_.launcher, d_.programs.bridge, &created);
  if (d_.launched != nullptr)
    d_.launched->RecordBridge(result == 0 ? RecordedProcess{}
                                          : RecordedProcess{static_cast<std::int32_t>(result), created});
  ends_.WatchBridge(static_cast<std::int32_t>(result), created, now);
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
