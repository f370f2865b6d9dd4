#include "log/system_events.h"

#include <utility>

#include "programs/programs.h"

namespace pellux {
namespace {

constexpr char kEndedText[] = "PelluxMONITOR - ENDED";
constexpr char kNoProcess[] = "-";
constexpr char kOwnSessionAgainText[] = "PelluxMONITOR supervises this session's programs again";
constexpr char kWindowFailedText[] = "PelluxMONITOR cannot supervise without its window";

const char* CauseText(EndCause cause) {
  switch (cause) {
    case EndCause::CloseRequest:
      return "close request";
    case EndCause::SessionEnd:
      return "end of the session";
    case EndCause::ClosedByInstaller:
      return "closed by an installer";
    case EndCause::ControlFileEnd:
      return "control file END";
    case EndCause::MissingProgram:
      return "missing program";
    case EndCause::NoWindow:
      return "no window";
    case EndCause::BadSetting:
      return "bad setting";
  }
  return "";
}

std::string ProcessText(std::int32_t id) { return id == 0 ? kNoProcess : std::to_string(id); }

// The tray's tips end with a NUL that has no place in an event's text.
std::string WithoutNul(const std::string& text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

// A launch's strings: its log line with the result, the program, then the new
// process's id, or the path that did not start.
std::vector<std::string> LaunchStrings(const SupervisedProgram& program, std::uint32_t result) {
  return {LaunchLogLine(program, result), program.exeName, result == 0 ? program.installPath : std::to_string(result)};
}

}  // namespace

void NobodySeesEvent(SystemEventLog& sink, const std::string& where, const std::string& session) {
  sink.Write(KindOf(EventId::NobodySees).level, EventId::NobodySees,
             {"PelluxMONITOR does not supervise where nobody can see it: " + where, where, session});
}

void BesideMachineWideEvent(SystemEventLog& sink, const std::string& folder, const std::string& machineProgram) {
  sink.Write(KindOf(EventId::BesideMachineWide).level, EventId::BesideMachineWide,
             {"PelluxMONITOR is installed for every user of this computer: this per-user copy "
              "starts nothing. Uninstall the per-user package.",
              folder, machineProgram});
}

void SystemEvents::Write(EventId id, const std::vector<std::string>& strings) {
  sink_.Write(KindOf(id).level, id, strings);
}

void SystemEvents::Started(const std::string& version, const std::string& programFolder, bool logFileOn,
                           const std::string& sources) {
  Write(EventId::Started, {kStartedText, version, programFolder, logFileOn ? "on" : "off", sources});
}

void SystemEvents::CycleDone() { held_.Summarise(false); }

void SystemEvents::Ended(EndCause cause) {
  // What was held back is told before the end, so that nothing is lost.
  held_.Summarise(true);
  Write(EventId::Ended, {kEndedText, CauseText(cause)});
}

void SystemEvents::OtherSessionAtStart(const std::string& text, const std::string& runningName, std::uint32_t session) {
  Write(EventId::OtherSessionAtStart, {text, runningName, std::to_string(session)});
}

void SystemEvents::LaunchClaimed(const std::string& text) { Write(EventId::LaunchClaimed, {text}); }

void SystemEvents::OwnSessionAgain(bool controllerHere) {
  Write(EventId::OwnSessionAgain, {kOwnSessionAgainText, controllerHere ? "the controller runs in this session"
                                                                        : "no other session runs the programs"});
}

void SystemEvents::BridgeInOtherSession(const std::string& text, const std::string& runningName,
                                        std::uint32_t session) {
  Write(EventId::BridgeInOtherSession, {text, runningName, std::to_string(session)});
}

void SystemEvents::Snapshot(bool had) {
  if (had) {
    if (snapshotOut_.Over()) Write(EventId::SnapshotBack, {"PelluxMONITOR takes the system's process snapshot again"});
    return;
  }
  // Outages that come every other walk would otherwise write an event each.
  const std::uint64_t now = clock_.Milliseconds();
  if (!snapshotOut_.Due(now)) return;
  Write(EventId::SnapshotLost, {"PelluxMONITOR cannot take the system's process snapshot"});
  snapshotOut_.Told(now);
}

void SystemEvents::ProgramMissing(const SupervisedProgram& program) {
  Write(EventId::ProgramMissing, {program.missingLog, program.exeName, program.installPath});
}

void SystemEvents::SettingRefused(const std::string& text, const std::string& name, const std::string& key,
                                  const std::string& reason) {
  Write(EventId::SettingRefused, {text, name, key, reason});
}

void SystemEvents::SettingTurnedOff(const std::string& text, const std::string& name, const std::string& key,
                                    const std::string& reason) {
  Write(EventId::SettingTurnedOff, {text, name, key, reason});
}

void SystemEvents::WindowFailed(const std::string& what) { Write(EventId::WindowFailed, {kWindowFailedText, what}); }

void SystemEvents::LaunchedAtStart(const SupervisedProgram& program, std::uint32_t result) {
  Write(result == 0 ? EventId::LaunchFailed : EventId::Launched, LaunchStrings(program, result));
}

void SystemEvents::Adopted(const SupervisedProgram& program, std::int32_t processId) {
  Write(EventId::Adopted, {program.stillRunning, program.exeName, ProcessText(processId)});
}

void SystemEvents::BridgeUnderOtherName(const std::string& runningName, std::int32_t processId) {
  if (std::exchange(otherNameReported_, true)) return;
  const SupervisedProgram& bridge = programs_.bridge;
  Write(EventId::BridgeUnderOtherName,
        {bridge.exeName + " launched by the monitor runs as " + runningName + ", which its running check (" +
             bridge.runningCheckName + ") does not match",
         bridge.runningCheckName, runningName, ProcessText(processId)});
}

void SystemEvents::BridgeRelaunched(std::uint32_t result) {
  held_.Repeating(result == 0 ? EventId::BridgeRelaunchFailed : EventId::BridgeRelaunched,
                  LaunchStrings(programs_.bridge, result));
}

void SystemEvents::BridgeTerminated(std::int32_t processId) {
  const SupervisedProgram& bridge = programs_.bridge;
  held_.Repeating(EventId::BridgeTerminated, {bridge.exeName + " ended by the monitor: the controller (" +
                                                  programs_.controller.runningCheckName + ") is not running",
                                              bridge.exeName, ProcessText(processId)});
}

void SystemEvents::BridgeHung(const std::string& text, std::int32_t processId, std::uint64_t seconds) {
  held_.Repeating(EventId::BridgeHung,
                  {text, programs_.bridge.exeName, ProcessText(processId), std::to_string(seconds)});
}

void SystemEvents::ControllerUndecided(const std::string& text, const std::string& path, std::int32_t processId) {
  held_.Repeating(EventId::ControllerUndecided, {text, path, ProcessText(processId)});
}

void SystemEvents::ControlFile(ControlState state, const std::string& tip, const std::string& command,
                               const std::string& file) {
  if (state == control_) return;
  control_ = state;
  switch (state) {
    case ControlState::Holding:
      Write(EventId::Holding, {WithoutNul(tip), command, file});
      break;
    case ControlState::Normal:
      Write(EventId::HoldingEnded, {WithoutNul(tip)});
      break;
    case ControlState::End:
      Write(EventId::ControlFileEnd, {command, file});
      break;
  }
}

void SystemEvents::DistantControlFile(const std::string& path, bool answered) {
  if (answered) {
    unanswered_.erase(path);
    return;
  }
  if (!unanswered_.insert(path).second) return;  // the same outage
  Write(EventId::ControlFileUnanswered, {"No answer from the control file " + path, path});
}

void SystemEvents::LogFile(const std::string& path, bool takesLines, std::uint64_t linesLost) {
  if (takesLines) {
    if (!logOut_.Over()) return;
    Write(EventId::LogTakesLinesAgain,
          {"The log file " + path + " takes lines again", path, std::to_string(linesLost - logLostTold_)});
    logLostTold_ = linesLost;
    return;
  }
  const std::uint64_t now = clock_.Milliseconds();
  if (!logOut_.Due(now)) return;
  Write(EventId::LogTakesNoLines, {"The log file " + path + " takes no lines", path});
  logOut_.Told(now);
}

void SystemEvents::ButtonStop(const SupervisedProgram& program, std::int32_t processId, bool stillRunning) {
  Write(stillRunning ? EventId::ButtonStillRunning : EventId::ButtonStopped,
        {stillRunning ? program.stillRunning : program.stopped, program.exeName, ProcessText(processId)});
}

void SystemEvents::ButtonCheck(const SupervisedProgram& program, bool running) {
  Write(running ? EventId::ButtonFoundRunning : EventId::ButtonFoundNotRunning,
        {running ? program.started : program.notStarted, program.exeName});
}

void SystemEvents::SerialPortClosed(const std::string& message, const std::string& portText) {
  Write(EventId::SerialPortClosed, {message, portText});
}

}  // namespace pellux
