#include "app/program_start.h"

#include "common/colours.h"

namespace pellux {

void ProgramStart::StartPrograms() {
  const bool unseenBefore = d_.wait.TakeUnseen();
  // Only what an earlier monitor of this session launched is looked at, and
  // without a log line: the log goes on with the two launch lines.
  const LaunchedSet earlier = d_.launched.ReadRecord();
  if (d_.wait.OtherSessionAtStart()) {
    d_.wait.WaitAtStart(unseenBefore);
    return;
  }
  const std::uint64_t boxesBefore = d_.boxes.Shown();
  StartBridge(earlier);
  // A box (the bridge's launch failed) gave the claim up while it waited for
  // the operator, perhaps for days, and another session's monitor may have
  // launched both programs meanwhile: the claim is taken again and the
  // workstation looked at again before anything more is launched, and where
  // another monitor went ahead this one waits as any second monitor does.
  if (d_.boxes.Shown() != boxesBefore && d_.wait.OtherSessionAtStart()) {
    d_.wait.WaitAtStart(unseenBefore);
    return;
  }
  StartController(earlier, unseenBefore);
}

void ProgramStart::StartBridge(const LaunchedSet& earlier) {
  if (d_.launched.StillRuns(earlier.bridge)) {
    AdoptAtStart(d_.programs.bridge, earlier.bridge.id);
  } else {
    (void)LaunchAtStart(d_.programs.bridge);
  }
}

void ProgramStart::StartController(const LaunchedSet& earlier, bool waited) {
  const SupervisedProgram& controller = d_.programs.controller;
  LaunchedPrograms& launched = d_.launched;
  // A javaw.exe that was recorded and has gone is a controller that ended:
  // the launcher's other children are not looked for then.
  const RecordedProcess javaw = earlier.javaw.Known()
                                    ? earlier.javaw
                                    : launched.StartedBy(earlier.launcher, controller.runningCheckName);
  if (launched.StillRuns(javaw)) {
    launched.RecordJavaw(javaw);
    AdoptAtStart(controller, javaw.id);  // seen running: no grace needed
  } else if (launched.StillRuns(earlier.launcher)) {
    // Still starting javaw.exe: taken over as it is, and given the grace of
    // a launcher start-up launched.
    d_.cycle.ControllerLaunched(earlier.launcher);
    AdoptAtStart(controller, earlier.launcher.id);
  } else if (const RecordedProcess any = AnyControllerAfterRestart(waited); any.Known()) {
    AdoptAtStart(controller, any.id);
  } else if (const std::uint32_t result = LaunchAtStart(controller); result != 0) {
    d_.cycle.ControllerLaunched(launched.Current().launcher);
  }
}

RecordedProcess ProgramStart::AnyControllerAfterRestart(bool waited) {
  // Only a session where a monitor already launched the controller: there a
  // javaw.exe that is not the recorded one is the controller an operator
  // started again from its launcher, as the cycle counts it, and a second
  // one would drive the same machine. A session's first start still
  // launches beside another Java program, unless it waited to see the other
  // sessions: the operator may have started the controller meanwhile.
  if (!d_.launched.Recorded() && !waited) return {};
  const RecordedProcess javaw = d_.launched.RunningInSession(d_.programs.controller.runningCheckName);
  if (javaw.Known()) d_.launched.RecordJavaw(javaw);
  return javaw;
}

void ProgramStart::AdoptAtStart(const SupervisedProgram& program, std::int32_t processId) {
  d_.events.Adopted(program, processId);
  d_.platform.controls.SetButtonColour(program.button, kGreen);
  d_.log.WriteLogLine(program.stillRunning);
}

std::uint32_t ProgramStart::LaunchAtStart(const SupervisedProgram& program) {
  std::uint64_t created = 0;
  const std::uint32_t result = Launch(d_.platform.launcher, program, &created);
  const RecordedProcess started = result == 0 ? RecordedProcess{}
                                              : RecordedProcess{static_cast<std::int32_t>(result), created};
  if (program.button == d_.programs.bridge.button) {
    d_.launched.RecordBridge(started);
  } else {
    d_.launched.RecordLauncher(started);
  }
  d_.events.LaunchedAtStart(program, result);  // before the box, which waits for a user
  if (result == 0) {
    d_.boxes.ShowBox(program.notStarted, kAppTitle, kBoxPlain);
    d_.platform.controls.SetButtonColour(program.button, kRed);
  } else {
    d_.platform.controls.SetButtonColour(program.button, kGreen);
  }
  d_.log.WriteLogLine(LaunchLogLine(program, result));
  return result;
}

}  // namespace pellux
