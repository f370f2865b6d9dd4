#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/system_event_log.h"

namespace pellux {

struct SupervisedProgram;
struct ProgramTable;

// The kind of an event by its id (a row of the table of events).
[[nodiscard]] const EventKind& KindOf(EventId id);

enum class EndCause { CloseRequest, SessionEnd, ControlFileEnd, MissingProgram, BadSetting };

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
  // programs is the table the monitor runs with; it outlives these events.
  SystemEvents(SystemEventLog& sink, Clock& clock, const ProgramTable& programs)
      : sink_(sink), clock_(clock), programs_(programs) {}

  // sources: where the settings came from ("built-in" when nothing was set).
  void Started(const std::string& version, const std::string& programFolder, bool logFileOn,
               const std::string& sources);
  void Ended(EndCause cause);
  void ProgramMissing(const SupervisedProgram& program);
  // A value of the settings refused at start: its text, the value, the key, why.
  void SettingRefused(const std::string& text, const std::string& name, const std::string& key,
                      const std::string& reason);
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
  const ProgramTable& programs_;
  ControlState control_ = ControlState::Normal;
  std::map<EventId, Repeat> repeats_;
};

}  // namespace pellux
