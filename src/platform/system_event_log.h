#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pellux {

enum class EventLevel { Information, Warning, Error };

// Every kind of event the monitor writes to the system's event log, one id
// each: a collector filters on these numbers, so they never change. Each row:
// name, id, symbol of its message in src/win32/event_messages.mc, level,
// number of strings. The message file must agree (a unit test and the
// Win32 build both check it). A summary of held-back events (1023) is written
// at the level of the events it sums up; its row gives the usual one.
#define PELLUX_SYSTEM_EVENTS(X)                                                \
  X(Started, 1000, MSG_STARTED, Information, 5)                                \
  X(Ended, 1001, MSG_ENDED, Information, 2)                                    \
  X(ProgramMissing, 1002, MSG_PROGRAM_MISSING, Error, 3)                       \
  X(WindowFailed, 1003, MSG_WINDOW_FAILED, Error, 2)                           \
  X(SettingRefused, 1004, MSG_SETTING_REFUSED, Error, 4)                       \
  X(NobodySees, 1005, MSG_NOBODY_SEES, Error, 3)                               \
  X(BesideMachineWide, 1006, MSG_BESIDE_MACHINE_WIDE, Warning, 3)              \
  X(SettingTurnedOff, 1007, MSG_SETTING_TURNED_OFF, Error, 4)                  \
  X(Launched, 1010, MSG_LAUNCHED, Information, 3)                              \
  X(LaunchFailed, 1011, MSG_LAUNCH_FAILED, Error, 3)                           \
  X(Adopted, 1012, MSG_ADOPTED, Information, 3)                                \
  X(BridgeRelaunched, 1020, MSG_BRIDGE_RELAUNCHED, Warning, 4)                 \
  X(BridgeRelaunchFailed, 1021, MSG_BRIDGE_RELAUNCH_FAILED, Error, 4)          \
  X(BridgeTerminated, 1022, MSG_BRIDGE_TERMINATED, Warning, 4)                 \
  X(RepeatSummary, 1023, MSG_REPEAT_SUMMARY, Warning, 3)                       \
  X(BridgeUnderOtherName, 1024, MSG_BRIDGE_UNDER_OTHER_NAME, Error, 4)         \
  X(BridgeHung, 1025, MSG_BRIDGE_HUNG, Warning, 5)                             \
  X(ControllerUndecided, 1026, MSG_CONTROLLER_UNDECIDED, Warning, 4)           \
  X(Holding, 1030, MSG_HOLDING, Warning, 3)                                    \
  X(HoldingEnded, 1031, MSG_HOLDING_ENDED, Information, 1)                     \
  X(ControlFileEnd, 1032, MSG_CONTROL_FILE_END, Information, 2)                \
  X(ControlFileUnanswered, 1033, MSG_CONTROL_FILE_UNANSWERED, Warning, 2)      \
  X(ButtonStopped, 1040, MSG_BUTTON_STOPPED, Information, 3)                   \
  X(ButtonStillRunning, 1041, MSG_BUTTON_STILL_RUNNING, Information, 3)        \
  X(ButtonFoundRunning, 1042, MSG_BUTTON_FOUND_RUNNING, Information, 2)        \
  X(ButtonFoundNotRunning, 1043, MSG_BUTTON_FOUND_NOT_RUNNING, Information, 2) \
  X(SerialPortClosed, 1044, MSG_SERIAL_PORT_CLOSED, Information, 2)            \
  X(OtherSessionAtStart, 1050, MSG_OTHER_SESSION_AT_START, Warning, 3)         \
  X(BridgeInOtherSession, 1051, MSG_BRIDGE_IN_OTHER_SESSION, Warning, 3)       \
  X(LaunchClaimed, 1052, MSG_LAUNCH_CLAIMED, Warning, 1)                       \
  X(OwnSessionAgain, 1053, MSG_OWN_SESSION_AGAIN, Information, 2)              \
  X(SnapshotLost, 1060, MSG_SNAPSHOT_LOST, Error, 1)                           \
  X(SnapshotBack, 1061, MSG_SNAPSHOT_BACK, Information, 1)                     \
  X(LogTakesNoLines, 1070, MSG_LOG_TAKES_NO_LINES, Warning, 2)                 \
  X(LogTakesLinesAgain, 1071, MSG_LOG_TAKES_LINES_AGAIN, Information, 3)

enum class EventId : std::uint32_t {
// NOLINTNEXTLINE(bugprone-macro-parentheses): name is an enumerator being declared, not an expression
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
#define PELLUX_EVENT_KIND(name, id, symbol, level, strings) {EventId::name, #symbol, EventLevel::level, strings},
    PELLUX_SYSTEM_EVENTS(PELLUX_EVENT_KIND)
#undef PELLUX_EVENT_KIND
};

// The system's event log (on Windows the Application log, source
// PelluxMONITOR). Abstract so that tests can record what is written.
class SystemEventLog {
 public:
  virtual ~SystemEventLog() = default;
  // Writes one event with its strings (UTF-8 text, as every text in the core). A write that fails is
  // dropped without a word: the events must never stop the monitor.
  virtual void Write(EventLevel level, EventId id, const std::vector<std::string>& strings) = 0;
};

}  // namespace pellux
