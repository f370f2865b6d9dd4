#include "supervision/session_marks.h"

#include <utility>

#include "common/colours.h"

namespace pellux {

void SessionMarks::LookForOwnSession() {
  const ProgramTable& programs = d_.programs;
  // This session's own Java programs neither start nor end the wait: only
  // what another session's monitor or bridge does, and nothing ends it while
  // the other sessions cannot be seen: each look says for itself whether it
  // saw them, so a mark unseen is not taken for none by a later look's answer.
  if (MarkedElsewhere() || !d_.processes.SeesOtherSessions() ||
      d_.processes.OtherSessionRunning(programs.bridge.runningCheckName) || !d_.processes.SeesOtherSessions() ||
      (d_.claimedElsewhere && d_.claimedElsewhere()))
    return;
  waiting_ = false;
  d_.processes.IsProcessRunning(programs.controller.runningCheckName);
  const bool controllerHere = d_.processes.Found();
  d_.processes.IsProcessRunning(programs.bridge.runningCheckName);
  const bool bridgeHere = d_.processes.Found();
  WindowControls& controls = d_.window.Controls();
  controls.SetButtonColour(programs.controller.button, controllerHere ? kGreen : kRed);
  controls.SetButtonColour(programs.bridge.button, bridgeHere ? kGreen : kRed);
  d_.events.OwnSessionAgain(controllerHere);
}

std::optional<SessionId> SessionMarks::MarkedElsewhere() {
  if (d_.mark == nullptr) return std::nullopt;
  for (const SessionId session : d_.processes.OtherSessions())
    if (d_.mark->HeldIn(session)) return session;
  return std::nullopt;
}

void SessionMarks::KeepMark(bool programsHere) {
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

bool SessionMarks::BridgeInOtherSession() {
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

bool SessionMarks::LeftToOtherSession() {
  // Another session's monitor supervises, or is launching: the bridge is its
  // to start again, and two would fight for the one serial port. The log says
  // once which monitor the bridge is left to.
  // A monitor that holds its mark supervises: KeepMark has given it up this
  // cycle where a lower session's monitor holds one too.
  const std::optional<SessionId> marked = holdingMark_ ? std::nullopt : MarkedElsewhere();
  // Unseen, another session's mark may be held: nothing is launched.
  if (!holdingMark_ && !d_.processes.SeesOtherSessions()) return true;
  if (marked && marked != leftToOther_)
    d_.log.WriteLogLine(OtherSessionText(d_.programs.controller.runningCheckName, *marked));
  leftToOther_ = marked;
  return marked || (d_.claimedElsewhere && d_.claimedElsewhere());
}

}  // namespace pellux
