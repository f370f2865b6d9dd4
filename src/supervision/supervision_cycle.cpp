#include "supervision/supervision_cycle.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/colours.h"
#include "common/scope_exit.h"
#include "common/upper_case.h"
#include "programs/programs.h"
#include "supervision/control_file.h"

namespace pellux {

SupervisionCycle::~SupervisionCycle() {
  for (const Watched* w : {&controllerEnd_, &bridgeEnd_})
    if (w->held) d_.ends->Forget(w->id);
}

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

void SupervisionCycle::Watch(Watched& w, std::int32_t id, std::uint64_t created, std::uint64_t now) {
  if (w.id == id && w.created == created) return;
  if (w.held) d_.ends->Forget(w.id);
  w = {id, created, now, id != 0 && d_.ends != nullptr && d_.ends->Watch(id, created)};
}

void SupervisionCycle::ProgramEnded() {
  if (ended_ || d_.ends == nullptr) return;
  const std::uint64_t now = d_.clock.Milliseconds();
  bool early = false;
  for (Watched* w : {&controllerEnd_, &bridgeEnd_}) {
    if (!w->held || !d_.ends->Ended(w->id)) continue;
    // A bridge that ended as soon as it started (its port missing, say)
    // waits for the next regular cycle, so that it is started again no
    // more often than once a cycle.
    early |= w == &controllerEnd_ || now - w->sinceMs >= kCycleSpacingMs;
    Watch(*w, 0, 0, now);
  }
  if (!early) return;
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
  Watch(controllerEnd_, 0, 0, now);
  Watch(bridgeEnd_, 0, 0, now);
}

void SupervisionCycle::ControllerLaunched(const RecordedProcess& launcher) {
  controllerStarting_ = true;
  controllerLaunchedMs_ = d_.clock.Milliseconds();
  launcher_ = launcher;
  launcherEnded_ = false;
  launcherSeenMs_ = controllerLaunchedMs_;
  lookForJavaw_ = d_.launched != nullptr && launcher.Known();
}

void SupervisionCycle::SessionEnding() {
  sessionEnding_ = true;
  sessionQueryMs_ = d_.clock.Milliseconds();
}

bool SupervisionCycle::ControllerStarting(std::uint64_t now) {
  if (!controllerStarting_) return false;
  const std::uint64_t sinceLaunch = now - controllerLaunchedMs_;
  // The launcher counts while it runs, up to the cap; the grace then goes on
  // for kControllerStartGraceMs from the last time it was seen running (the
  // launch itself for one that ended at once, or that is not known).
  if (!launcherEnded_) {
    if (sinceLaunch < kControllerLauncherGraceCapMs && d_.launched != nullptr && d_.launched->StillRuns(launcher_)) {
      launcherSeenMs_ = now;
    } else {
      launcherEnded_ = true;
    }
  }
  if (launcherEnded_ && now - launcherSeenMs_ >= kControllerStartGraceMs) controllerStarting_ = false;
  return controllerStarting_;
}

void SupervisionCycle::LookForControllerJavaw(std::uint64_t now) {
  const RecordedProcess javaw = d_.launched->StartedBy(launcher_, d_.programs.controller.runningCheckName);
  if (javaw.Known()) {
    d_.launched->RecordJavaw(javaw);
    lookForJavaw_ = false;
  } else if (now - controllerLaunchedMs_ >= kControllerLauncherGraceCapMs + kControllerStartGraceMs) {
    lookForJavaw_ = false;  // a launcher that never started it
  }
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
  if (waitingForOtherSession_) {
    // Nothing here is this monitor's to supervise while it waits.
    Watch(controllerEnd_, 0, 0, now);
    Watch(bridgeEnd_, 0, 0, now);
    LookForOwnSession();
  } else if (!SessionIsEnding(now)) {
    KeepBridgeInStep(now);
    if (!controllerStarting_ && d_.launchSettled) d_.launchSettled();
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
  if (lookForJavaw_) LookForControllerJavaw(now);
  // Any Java program counts as the controller.
  d_.processes.IsProcessRunning(d_.programs.controller.runningCheckName);
  if (!d_.processes.Found()) {
    // Just after start-up the controller's launcher has not yet started
    // javaw.exe: ending the bridge now would bounce it at every start.
    Watch(controllerEnd_, 0, 0, now);
    if (ControllerStarting(now)) {
      KeepMark(true);  // the bridge launched beside it runs
      return;
    }
    // What the cycle ends itself is no end to answer.
    Watch(bridgeEnd_, 0, 0, now);
    const KillOutcome killed = d_.processes.Kill_Process(d_.programs.bridge.stopName);
    if (killed.terminated) d_.events.BridgeTerminated(killed.processId);
    // A bridge ran here until now, or runs on, refusing its end.
    KeepMark(killed.processId != 0 || killed.refused);
    return;
  }
  KeepMark(true);
  controllerStarting_ = false;  // seen once: from now on its absence counts at once
  Watch(controllerEnd_, d_.processes.FoundId(), d_.processes.FoundCreated(), now);
  d_.processes.IsProcessRunning(d_.programs.bridge.runningCheckName);
  if (d_.processes.Found()) {
    bridgeFound_ = d_.processes.FoundId();
    Watch(bridgeEnd_, bridgeFound_, d_.processes.FoundCreated(), now);
    return;
  }
  Watch(bridgeEnd_, 0, 0, now);
  // A cycle brought forward (by the controller's end, say) starts no bridge
  // within a cycle of the last start: one that cannot stay up is started
  // again no more often than once a cycle.
  if (earlyTick_ && lastRelaunchMs_ && now - *lastRelaunchMs_ < kCycleSpacingMs) return;
  lastRelaunchMs_ = now;
  RelaunchBridge(now);
}

void SupervisionCycle::JudgeBridgeWindows(std::uint64_t now, bool holding) {
  if (hungLimitMs_ == 0 || d_.windows == nullptr) return;
  // Only a bridge this cycle found while it supervises: not while it holds,
  // waits for another session or the session ends. A cycle that does not
  // look breaks the run of unanswered looks.
  const std::int32_t bridge = holding ? 0 : bridgeFound_;
  if (bridge == 0) {
    unanswered_ = 0;
    return;
  }
  if (bridge != seenOf_) {
    seenOf_ = bridge;
    seen_.clear();
  }
  d_.windows->Look(bridge, listed_);
  if (!JudgedUnanswered()) {
    unanswered_ = 0;
    return;
  }
  if (unanswered_ != bridge) {
    unanswered_ = bridge;
    unansweredMs_ = now;
  }
  const std::uint64_t unansweredFor = now - unansweredMs_;
  if (unansweredFor < hungLimitMs_) return;
  // A bridge that hangs again at once after each start is ended at most once a period.
  if (hungEndMs_ && now - *hungEndMs_ < hungLimitMs_) return;
  hungEndMs_ = now;
  unanswered_ = 0;
  // Started again by the next regular cycle, as a missing bridge is.
  if (bridgeEnd_.id == bridge) Watch(bridgeEnd_, 0, 0, now);
  const KillOutcome ended = d_.processes.EndProcessId(bridge);
  if (!ended.terminated) return;
  const SupervisedProgram& program = d_.programs.bridge;
  const std::uint64_t seconds = unansweredFor / 1000;
  const std::string line = program.notResponding + " - TERMINADO - PID: " + std::to_string(bridge) + " - " +
                           std::to_string(seconds) + " Segundos";
  d_.window.ShowStatusMessage(program.notResponding, kRed, kWhite);
  d_.log.WriteLogLine(line);
  d_.events.BridgeHung(line, bridge, seconds);
}

bool SupervisionCycle::JudgedUnanswered() {
  // The windows judged: those shown now, and those seen shown before that are
  // hidden now without an answer. A window that stops answering for about
  // five seconds may be hidden by the window manager behind a ghost of its
  // own (at the latest once the operator clicks or moves it), and a hung
  // bridge must not escape the check that way. A hidden window that answers,
  // or one never seen shown, says nothing.
  std::size_t judged = 0;
  std::size_t answering = 0;
  keep_.clear();
  for (const TopLevelWindow& window : listed_) {
    const bool seen = std::find(seen_.begin(), seen_.end(), window.handle) != seen_.end();
    if (!window.visible && (!seen || window.answering)) continue;
    keep_.push_back(window.handle);
    ++judged;
    if (window.answering) ++answering;
  }
  seen_.swap(keep_);  // a window that has gone is forgotten
  // A bridge without such a window is never judged; one window that answers is enough.
  return judged != 0 && answering == 0;
}

void SupervisionCycle::LookForOwnSession() {
  const ProgramTable& programs = d_.programs;
  // This session's own Java programs neither start nor end the wait: only
  // what another session's monitor or bridge does, and nothing ends it while
  // the other sessions cannot be seen.
  if (MarkedElsewhere() || d_.processes.OtherSessionRunning(programs.bridge.runningCheckName) ||
      !d_.processes.SeesOtherSessions() || (d_.claimedElsewhere && d_.claimedElsewhere()))
    return;
  waitingForOtherSession_ = false;
  d_.processes.IsProcessRunning(programs.controller.runningCheckName);
  const bool controllerHere = d_.processes.Found();
  d_.processes.IsProcessRunning(programs.bridge.runningCheckName);
  const bool bridgeHere = d_.processes.Found();
  WindowControls& controls = d_.window.Controls();
  controls.SetButtonColour(programs.controller.button, controllerHere ? kGreen : kRed);
  controls.SetButtonColour(programs.bridge.button, bridgeHere ? kGreen : kRed);
  d_.events.OwnSessionAgain(controllerHere);
}

std::optional<SessionId> SupervisionCycle::MarkedElsewhere() {
  if (d_.mark == nullptr) return std::nullopt;
  for (const SessionId session : d_.processes.OtherSessions())
    if (d_.mark->HeldIn(session)) return session;
  return std::nullopt;
}

void SupervisionCycle::KeepMark(bool programsHere) {
  if (d_.mark == nullptr) return;
  if (!programsHere) {
    if (std::exchange(holdingMark_, false)) d_.mark->Drop();
    return;
  }
  if (!holdingMark_) {
    // Unseen, another session's mark may be held: none is taken then (and
    // one held is kept).
    if (MarkedElsewhere() || !d_.processes.SeesOtherSessions()) return;
    holdingMark_ = d_.mark->Hold();
    if (!holdingMark_) return;
  }
  // The look and the taking are two steps: two monitors may both have taken
  // theirs, and each would leave the bridge to the other. Looked at again
  // after the taking and on every cycle: the lower session keeps its mark.
  const std::optional<SessionId> other = MarkedElsewhere();
  if (other && *other < d_.processes.OwnSession()) {
    d_.mark->Drop();
    holdingMark_ = false;
  }
}

bool SupervisionCycle::BridgeInOtherSession() {
  const SupervisedProgram& bridge = d_.programs.bridge;
  const std::optional<SessionId> other = d_.processes.OtherSessionRunning(bridge.runningCheckName);
  // Unseen, another session's bridge may hold the port: nothing is launched,
  // and nothing said until it is seen.
  if (!d_.processes.SeesOtherSessions()) return true;
  const bool changed = other != bridgeElsewhere_;
  bridgeElsewhere_ = other;
  if (!other) return false;
  // Two bridges would fight for the one serial port of the workstation.
  if (changed) {
    const std::string text = OtherSessionText(bridge.runningCheckName, *other);
    d_.window.ShowStatusMessage(text, kAmber, kBlack);
    d_.window.Controls().SetButtonColour(bridge.button, kAmber);
    d_.log.WriteLogLine(text);
    d_.events.BridgeInOtherSession(text, bridge.runningCheckName, *other);
  }
  return true;
}

void SupervisionCycle::RelaunchBridge(std::uint64_t now) {
  if (BridgeInOtherSession()) return;
  // Another session's monitor supervises, or is launching: the bridge is its
  // to start again, and two would fight for the one serial port. The log says
  // once which monitor the bridge is left to.
  // A monitor that holds its mark supervises: KeepMark has given it up this
  // cycle where a lower session's monitor holds one too.
  const std::optional<SessionId> marked = holdingMark_ ? std::nullopt : MarkedElsewhere();
  if (marked && marked != leftToOther_)
    d_.log.WriteLogLine(OtherSessionText(d_.programs.controller.runningCheckName, *marked));
  leftToOther_ = marked;
  if (marked || (d_.claimedElsewhere && d_.claimedElsewhere())) return;
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
  Watch(bridgeEnd_, static_cast<std::int32_t>(result), created, now);
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
