#include "app/start_wait.h"

#include <functional>
#include <optional>
#include <vector>

#include "common/colours.h"

namespace pellux {

bool StartWait::OtherSessionAtStart() {
  const Platform& p = d_.platform;
  const ProgramTable& programs = d_.programs;
  // One controller and one bridge per workstation. A javaw.exe of another
  // session is the controller only while that session's monitor holds its
  // mark (otherwise it is somebody's Java program, a service's in session 0
  // perhaps); a bridge anywhere holds the serial port, whoever owns it.
  const auto supervised = [&p](SessionId session) { return p.mark.HeldIn(session); };
  for (const SupervisedProgram* program : {&programs.controller, &programs.bridge}) {
    const std::string& name = program->runningCheckName;
    const bool controller = program == &programs.controller;
    const std::optional<SessionId> other = d_.processes.OtherSessionRunning(
        name, controller ? supervised : std::function<bool(SessionId)>());
    // Unseen, another session may run either: nothing is launched yet.
    if (!d_.processes.SeesOtherSessions()) {
      unseen_ = true;
      return true;
    }
    if (other) {
      const std::string text = OtherSessionText(name, *other);
      d_.events.OtherSessionAtStart(text, name, *other);
      ShowWaiting(text);
      return true;
    }
  }
  // Another session's monitor supervises, though neither program shows
  // there at this moment (its controller has just ended, say): as the cycle,
  // start-up leaves the programs to it.
  const std::vector<SessionId> sessions = d_.processes.OtherSessions();
  if (!d_.processes.SeesOtherSessions()) {
    unseen_ = true;
    return true;
  }
  for (const SessionId session : sessions) {
    if (!p.mark.HeldIn(session)) continue;
    const std::string& name = programs.controller.runningCheckName;
    const std::string text = OtherSessionText(name, session);
    d_.events.OtherSessionAtStart(text, name, session);
    ShowWaiting(text);
    return true;
  }
  // Two logons at once: the other session's programs may not show yet.
  if (!p.claim.Take()) {
    d_.events.LaunchClaimed(kLaunchClaimedText);
    ShowWaiting(kLaunchClaimedText);
    return true;
  }
  return false;
}

void StartWait::ShowWaiting(const std::string& text) {
  d_.platform.controls.SetButtonColour(d_.programs.controller.button, kAmber);
  d_.platform.controls.SetButtonColour(d_.programs.bridge.button, kAmber);
  d_.window.ShowStatusMessage(text, kAmber, kBlack);
  d_.log.WriteLogLine(text);
}

void StartWait::WaitAtStart(bool unseenBefore) {
  if (!unseen_) {
    d_.cycle.WaitForOtherSession();
  } else if (!unseenBefore) {
    ShowWaiting(kOtherSessionsUnseenText);
  }
}

}  // namespace pellux
