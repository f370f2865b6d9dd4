#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "log/clock.h"

namespace pellux {

struct SupervisedProgram;

enum class EventLevel { Information, Warning, Error };

// Every kind of event the monitor writes to the system's event log, one id
// each: a collector filters on these numbers, so they never change. Each row:
// name, id, symbol of its message in src/win32/event_messages.mc, level,
// number of strings. The message file must agree (a unit test and the
// Win32 build both check it).
#define PELLUX_SYSTEM_EVENTS(X)                                                \
  X(Started, 1000, MSG_STARTED, Information, 4)                                \
  X(Ended, 1001, MSG_ENDED, Information, 2)                                    \
  X(ProgramMissing, 1002, MSG_PROGRAM_MISSING, Error, 3)                       \
  X(Launched, 1010, MSG_LAUNCHED, Information, 3)                              \
  X(LaunchFailed, 1011, MSG_LAUNCH_FAILED, Error, 3)                           \
  X(BridgeRelaunched, 1020, MSG_BRIDGE_RELAUNCHED, Warning, 4)                 \
  X(BridgeRelaunchFailed, 1021, MSG_BRIDGE_RELAUNCH_FAILED, Error, 4)          \
  X(BridgeTerminated, 1022, MSG_BRIDGE_TERMINATED, Warning, 4)                 \
  X(RepeatEnded, 1023, MSG_REPEAT_ENDED, Information, 3)                       \
  X(Holding, 1030, MSG_HOLDING, Warning, 3)                                    \
  X(HoldingEnded, 1031, MSG_HOLDING_ENDED, Information, 1)                     \
  X(ControlFileEnd, 1032, MSG_CONTROL_FILE_END, Information, 2)                \
  X(ButtonStopped, 1040, MSG_BUTTON_STOPPED, Information, 3)                   \
  X(ButtonStillRunning, 1041, MSG_BUTTON_STILL_RUNNING, Information, 3)        \
  X(ButtonFoundRunning, 1042, MSG_BUTTON_FOUND_RUNNING, Information, 2)        \
  X(ButtonFoundNotRunning, 1043, MSG_BUTTON_FOUND_NOT_RUNNING, Information, 2) \
  X(SerialPortClosed, 1044, MSG_SERIAL_PORT_CLOSED, Information, 2)

enum class EventId : std::uint32_t {
#define PELLUX_EVENT_ID(name, id, symbol, level, strings) name = id,
  PELLUX_SYSTEM_EVENTS(PELLUX_EVENT_ID)
#undef PELLUX_EVENT_ID
};

struct EventKind {
  EventId id;
  const char* symbol;
  EventLevel level;
  std::size_t strings;
};

inline constexpr EventKind kEventKinds[] = {
#define PELLUX_EVENT_KIND(name, id, symbol, level, strings) \
  {EventId::name, #symbol, EventLevel::level, strings},
    PELLUX_SYSTEM_EVENTS(PELLUX_EVENT_KIND)
#undef PELLUX_EVENT_KIND
};

[[nodiscard]] const EventKind& KindOf(EventId id);

// The system's event log (on Windows the Application log, source
// PelluxMONITOR). Abstract so that tests can record what is written.
class SystemEventLog {
 public:
  virtual ~SystemEventLog() = default;
  // Writes one event with its strings (8-bit text). A write that fails is
  // dropped without a word: the events must never stop the monitor.
  virtual void Write(EventLevel level, EventId id, const std::vector<std::string>& strings) = 0;
};

enum class EndCause { CloseRequest, SessionEnd, ControlFileEnd, MissingProgram };

// What the control file says this cycle.
enum class ControlState { Normal, Holding, End };

// An event that comes back on every cycle is reported the first time, then
// at most once in this span, with how many times it happened since.
inline constexpr std::uint64_t kRepeatReportSpacingMs = 10 * 60 * 1000;

// Which outcome gives which event, for someone who is not at the machine.
// Holds the only state the events need: the control file's last state and,
// for the cycle's events, the no-flood bookkeeping.
class SystemEvents {
 public:
  SystemEvents(SystemEventLog& sink, Clock& clock) : sink_(sink), clock_(clock) {}

  void Started(const std::string& version, const std::string& programFolder, bool logFileOn);
  void Ended(EndCause cause);
  void ProgramMissing(const SupervisedProgram& program);
  // A launch by start-up; result is the process id, or 0 when it failed.
  void LaunchedAtStart(const SupervisedProgram& program, std::uint32_t result);

  // The cycle's events; each can come back on every cycle.
  void BridgeRelaunched(std::uint32_t result);
  void BridgeTerminated(std::int32_t processId);
  // Once per cycle, after its process work: an event that did not come back
  // this cycle has stopped, and one that was repeating says so once more.
  void CycleDone();

  // Reports only a change: normal to holding and back, and END. tip is what
  // the tray shows now, command the second field as compared, file the
  // control file read (empty when there is none).
  void ControlFile(ControlState state, const std::string& tip, const std::string& command,
                   const std::string& file);

  // A button's stop: processId is the process whose termination was asked
  // (0 when none matched); stillRunning is what the re-check found.
  void ButtonStop(const SupervisedProgram& program, std::int32_t processId, bool stillRunning);
  void ButtonCheck(const SupervisedProgram& program, bool running);
  // message is the line the click shows for it ("Cerrado el Puerto " and the text).
  void SerialPortClosed(const std::string& message, const std::string& portText);

 private:
  struct Repeat {
    bool seenThisCycle = false;
    bool reported = false;    // the first of this run was reported
    bool repeated = false;    // at least one of this run was held back
    std::uint32_t since = 0;  // occurrences since the last report
    std::uint64_t lastReportMs = 0;
    std::string lastText;
  };

  void Write(EventId id, const std::vector<std::string>& strings);
  void Repeating(EventId id, std::vector<std::string> strings);

  SystemEventLog& sink_;
  Clock& clock_;
  ControlState control_ = ControlState::Normal;
  std::map<EventId, Repeat> repeats_;
};

}  // namespace pellux
