#include "log/system_events.h"

#include <stdexcept>

#include "programs/programs.h"

namespace pellux {
namespace {

constexpr char kEndedText[] = "PelluxMONITOR - ENDED";
constexpr char kTerminatedText[] =
    "LINTARO.exe ended by the monitor: the controller (javaw.exe) is not running";
constexpr char kNoProcess[] = "-";

const char* CauseText(EndCause cause) {
  switch (cause) {
    case EndCause::CloseRequest:
      return "close request";
    case EndCause::SessionEnd:
      return "end of the session";
    case EndCause::ControlFileEnd:
      return "control file END";
    case EndCause::MissingProgram:
      return "missing program";
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
  return {LaunchLogLine(program, result), program.exeName,
          result == 0 ? program.installPath : std::to_string(result)};
}

}  // namespace

const EventKind& KindOf(EventId id) {
  for (const EventKind& kind : kEventKinds)
    if (kind.id == id) return kind;
  throw std::out_of_range("unknown event id");
}

void SystemEvents::Write(EventId id, const std::vector<std::string>& strings) {
  sink_.Write(KindOf(id).level, id, strings);
}

void SystemEvents::Repeating(EventId id, std::vector<std::string> strings) {
  const std::uint64_t now = clock_.Milliseconds();
  Repeat& r = repeats_[id];
  r.seenThisCycle = true;
  ++r.since;
  r.lastText = strings.front();
  if (r.reported && now - r.lastReportMs < kRepeatReportSpacingMs) {
    r.repeated = true;
    return;
  }
  strings.push_back(std::to_string(r.since));
  Write(id, strings);
  r.reported = true;
  r.lastReportMs = now;
  r.since = 0;
}

void SystemEvents::CycleDone() {
  for (auto& [id, r] : repeats_) {
    if (r.seenThisCycle) {
      r.seenThisCycle = false;
      continue;
    }
    // A single occurrence that did not come back was reported in full; only
    // a run that was held back needs its end told.
    if (r.repeated)
      Write(EventId::RepeatEnded,
            {r.lastText, std::to_string(static_cast<std::uint32_t>(id)), std::to_string(r.since)});
    r = Repeat{};
  }
}

void SystemEvents::Started(const std::string& version, const std::string& programFolder,
                           bool logFileOn) {
  Write(EventId::Started, {kStartedText, version, programFolder, logFileOn ? "on" : "off"});
}

void SystemEvents::Ended(EndCause cause) { Write(EventId::Ended, {kEndedText, CauseText(cause)}); }

void SystemEvents::ProgramMissing(const SupervisedProgram& program) {
  Write(EventId::ProgramMissing, {program.missingLog, program.exeName, program.installPath});
}

void SystemEvents::LaunchedAtStart(const SupervisedProgram& program, std::uint32_t result) {
  Write(result == 0 ? EventId::LaunchFailed : EventId::Launched, LaunchStrings(program, result));
}

void SystemEvents::BridgeRelaunched(std::uint32_t result) {
  Repeating(result == 0 ? EventId::BridgeRelaunchFailed : EventId::BridgeRelaunched,
            LaunchStrings(kBridge, result));
}

void SystemEvents::BridgeTerminated(std::int32_t processId) {
  Repeating(EventId::BridgeTerminated, {kTerminatedText, kBridge.exeName, ProcessText(processId)});
}

void SystemEvents::ControlFile(ControlState state, const std::string& tip,
                               const std::string& command, const std::string& file) {
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

void SystemEvents::ButtonStop(const SupervisedProgram& program, std::int32_t processId,
                              bool stillRunning) {
  Write(stillRunning ? EventId::ButtonStillRunning : EventId::ButtonStopped,
        {stillRunning ? program.stillRunning : program.stopped, program.exeName,
         ProcessText(processId)});
}

void SystemEvents::ButtonCheck(const SupervisedProgram& program, bool running) {
  Write(running ? EventId::ButtonFoundRunning : EventId::ButtonFoundNotRunning,
        {running ? program.started : program.notStarted, program.exeName});
}

void SystemEvents::SerialPortClosed(const std::string& message, const std::string& portText) {
  Write(EventId::SerialPortClosed, {message, portText});
}

}  // namespace pellux
