#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "log/held_back_events.h"
#include "platform/clock.h"
#include "platform/system_event_log.h"

namespace pellux {

struct SupervisedProgram;
struct ProgramTable;

enum class EndCause {
  CloseRequest,
  SessionEnd,
  ClosedByInstaller,  // Restart Manager, for an update or an uninstall
  ControlFileEnd,
  MissingProgram,
  NoWindow,
  BadSetting
};

// Written by the start-up guard, before the monitor itself exists. where says
// why nobody sees it ("session 0", "window station not interactive"); session
// is the session's number, or "-" when unknown.
void NobodySeesEvent(SystemEventLog& sink, const std::string& where, const std::string& session);
// folder is this program's, machineProgram what the machine-wide package installed.
void BesideMachineWideEvent(SystemEventLog& sink, const std::string& folder, const std::string& machineProgram);

// What the control file says this cycle.
enum class ControlState { Normal, Holding, End };

// Which outcome gives which event, for someone who is not at the machine.
// Holds the only state the events need: the control file's last state and,
// for the cycle's events, the no-flood bookkeeping (HeldBackEvents).
class SystemEvents {
 public:
  // programs is the table the monitor runs with; it outlives these events.
  SystemEvents(SystemEventLog& sink, Clock& clock, const ProgramTable& programs)
      : sink_(sink), clock_(clock), programs_(programs), held_(sink, clock) {}

  // sources: where the settings came from ("built-in" when nothing was set).
  void Started(const std::string& version, const std::string& programFolder, bool logFileOn,
               const std::string& sources);
  void Ended(EndCause cause);
  void ProgramMissing(const SupervisedProgram& program);
  // A value of the settings refused at start: its text, the value, the key, why.
  void SettingRefused(const std::string& text, const std::string& name, const std::string& key,
                      const std::string& reason);
  // A value of a diagnosis feature refused at start: that feature alone is off.
  void SettingTurnedOff(const std::string& text, const std::string& name, const std::string& key,
                        const std::string& reason);
  // The main window or Timer1 (what) could not be made.
  void WindowFailed(const std::string& what);
  // A launch by start-up; result is the process id, or 0 when it failed.
  void LaunchedAtStart(const SupervisedProgram& program, std::uint32_t result);
  // A program an earlier monitor of the session launched, found running at
  // start and supervised without a launch.
  void Adopted(const SupervisedProgram& program, std::int32_t processId);
  // The bridge launched last time still runs, under runningName, which the
  // running check does not match: written once per start.
  void BridgeUnderOtherName(const std::string& runningName, std::int32_t processId);

  // Start-up found the program recognised as runningName running in another
  // logon session (session) and launched neither program; text is the strip's.
  void OtherSessionAtStart(const std::string& text, const std::string& runningName, std::uint32_t session);
  // Start-up launched neither program: a monitor of another session is launching.
  void LaunchClaimed(const std::string& text);
  // The wait for another session is over; controllerHere: the controller now
  // runs in this session (otherwise nothing runs in another one either).
  void OwnSessionAgain(bool controllerHere);
  // The cycle launched no bridge: one runs in another session. The caller
  // writes it once per change of that session.
  void BridgeInOtherSession(const std::string& text, const std::string& runningName, std::uint32_t session);

  // Whether a walk or a look at the other sessions had the system's process
  // snapshot. That it has none is told once per outage, and at most once a
  // span, as the log's stop is; that it has one again is told after a told loss.
  void Snapshot(bool had);

  // The cycle's events; each can come back on every cycle.
  void BridgeRelaunched(std::uint32_t result);
  void BridgeTerminated(std::int32_t processId);
  // The cycle ended the bridge processId, whose windows had not answered for
  // seconds; text is the log's line.
  void BridgeHung(const std::string& text, std::int32_t processId, std::uint64_t seconds);
  // A javaw.exe that ControllerMatch could neither confirm nor rule out
  // (text is the log's line): held back like the cycle's events.
  void ControllerUndecided(const std::string& text, const std::string& path, std::int32_t processId);
  // Once per cycle, after its process work: a kind with occurrences held
  // back and no report for a whole span gets its summary (1023).
  void CycleDone();

  // Reports only a change: normal to holding and back, and END. tip is what
  // the tray shows now, command the second field as compared, file the
  // control file read (empty when there is none).
  void ControlFile(ControlState state, const std::string& tip, const std::string& command, const std::string& file);

  // A look at a control-file location that may block (a share, a network
  // drive): one that did not answer in time is told once per outage, and
  // the outage ends when that location answers again.
  void DistantControlFile(const std::string& path, bool answered);

  // The log's state, once per cycle while logging is on; linesLost counts
  // every line not written since the start. That it stops taking lines is
  // told once per outage, and at most once a span: one that begins sooner is
  // told once the span has passed, if it still lasts. That it takes them
  // again is told after a told stop, with the lines lost since the last time
  // it was told.
  void LogFile(const std::string& path, bool takesLines, std::uint64_t linesLost);

  // A button's stop: processId is the process whose termination was asked
  // (0 when none matched); stillRunning is what the re-check found.
  void ButtonStop(const SupervisedProgram& program, std::int32_t processId, bool stillRunning);
  void ButtonCheck(const SupervisedProgram& program, bool running);
  // message is the line the click shows for it ("Cerrado el Puerto " and the text).
  void SerialPortClosed(const std::string& message, const std::string& portText);

 private:
  void Write(EventId id, const std::vector<std::string>& strings);

  SystemEventLog& sink_;
  Clock& clock_;
  const ProgramTable& programs_;
  ControlState control_ = ControlState::Normal;
  HeldBackEvents held_;
  bool otherNameReported_ = false;
  std::set<std::string> unanswered_;  // distant control-file locations now out
  OutageTold logOut_;
  std::uint64_t logLostTold_ = 0;  // lines lost as of the last return told
  OutageTold snapshotOut_;
};

}  // namespace pellux
