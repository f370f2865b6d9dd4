#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "platform/process_table.h"
#include "process/controller_match.h"
#include "process/kept_paths.h"
#include "process/other_sessions.h"

namespace pellux {

// The program's error-report hook: it has no effect at all.
void ReportError(std::int32_t number, const std::string& description, const std::string& module,
                 const std::string& routine);

using ErrorReporter = std::function<void(std::int32_t number, const std::string& description, const std::string& module,
                                         const std::string& routine)>;

// What a termination walk did: the process it matched, if any, and whether
// the system accepted its termination.
struct KillOutcome {
  std::int32_t processId = 0;  // 0: no process matched that could be opened
  bool terminated = false;
  bool refused = false;  // a match refused its termination open, and runs on
};

// Whether a program runs, and terminating one. Each walk takes the system's
// one process snapshot and visits, in its order, the processes it lists in
// the monitor's own logon session: another session's are neither counted nor
// ended, whoever owns them. A process is acted on only while it is the one
// the snapshot listed (its id and creation time), so that an id the system
// has given to a later process is passed over. A process's path is read the
// first time a walk meets it and kept for its life, so that later walks open
// nothing (KeptPaths, which logs each process visited). A process whose path
// cannot be read with full query rights (an elevated one) is read with the
// limited ones (ReadPath); one refused both ways is skipped. Where the snapshot cannot
// be had, the walk goes by the system's list of ids and asks each process
// for its session. Every handle opened is closed before a call returns.
// Where a call names the controller (its running name, its stop name) and a
// text tells the controller apart, only a process that counts as the
// controller matches (ControllerMatch); a stop ends only one the text
// confirms.
class ProcessServices {
 public:
  ProcessServices(ProcessTable& table, EventLog& log, ErrorReporter report = ReportError)
      : table_(table), log_(log), report_(std::move(report)) {}
  // The look at the other sessions holds on to this one's members.
  ProcessServices(const ProcessServices&) = delete;
  ProcessServices& operator=(const ProcessServices&) = delete;

  // Leaves "YES" in ProcessFound() when a process whose executable path ends
  // with name (compared upper-cased) runs, otherwise the empty text; FoundId()
  // is then the id of the process that matched.
  void IsProcessRunning(const std::string& name);

  // Terminates (exit code 1) the first process other than the monitor's own
  // whose executable path contains name (compared upper-cased) and which can
  // be opened for termination; a match that refuses that open is reported
  // and passed over, and from then on only a process whose file name is
  // name plus ".exe" (in any case) counts as a match. A match whose id names
  // another process by the time it is opened is passed over without a word.
  // Reports failures to the hook only; the outcome tells the caller what was
  // matched and ended.
  KillOutcome Kill_Process(const std::string& name);

  // Terminates (exit code 1) the process processId, as Kill_Process ends its
  // match, without a walk. Reports failures to the hook only.
  KillOutcome EndProcessId(std::int32_t processId);

  // The look at the other logon sessions (OtherSessionsLook).
  [[nodiscard]] std::optional<SessionId> OtherSessionRunning(const std::string& name,
                                                             const std::function<bool(SessionId)>& counts = {}) {
    return others_.OtherSessionRunning(name, counts);
  }
  [[nodiscard]] std::vector<SessionId> OtherSessions() { return others_.OtherSessions(); }
  [[nodiscard]] bool SeesOtherSessions() const { return others_.SeesOtherSessions(); }
  [[nodiscard]] SessionId OwnSession() { return table_.CurrentSession(); }

  // Told after every walk and every look at the other sessions whether it had
  // the system's snapshot.
  void OnSnapshot(std::function<void(bool had)> told) { snapshotTold_ = std::move(told); }

  [[nodiscard]] ControllerMatch& Controller() { return controller_; }

  [[nodiscard]] const std::string& ProcessFound() const { return ProcessFound_; }
  [[nodiscard]] bool Found() const { return ProcessFound_ == "YES"; }
  // The process the last IsProcessRunning found; 0 when it found none.
  [[nodiscard]] std::int32_t FoundId() const { return foundId_; }
  // It was found as the controller that the text can neither confirm nor
  // rule out: a stop leaves it running.
  [[nodiscard]] bool FoundUndecided() const { return foundUndecided_; }
  // Its creation time as the snapshot listed it; 0 when not given.
  [[nodiscard]] std::uint64_t FoundCreated() const { return foundCreated_; }

 private:
  // Calls onProcess(listed, path) for every process of the session whose
  // path can be read, in the snapshot's order, until it answers true.
  template <typename OnProcess>
  void Walk(OnProcess&& onProcess);
  template <typename OnProcess>
  void WalkKept(SessionId own, OnProcess&& onProcess);
  template <typename OnProcess>
  void WalkIds(OnProcess&& onProcess);
  void SnapshotHad(bool had);

  ProcessTable& table_;
  EventLog& log_;
  ErrorReporter report_;
  std::string ProcessFound_;
  ControllerMatch controller_{table_, log_};
  std::function<void(bool)> snapshotTold_;
  OtherSessionsLook others_{table_, controller_, snapshotTold_};
  KeptPaths kept_{table_, log_};
  std::int32_t foundId_ = 0;
  bool foundUndecided_ = false;
  std::uint64_t foundCreated_ = 0;  // as the snapshot listed it
  // Storage every walk reuses, so that the scan of a table it has seen
  // before allocates nothing: the cycle runs it several times every 3 s for
  // months.
  struct Scratch {
    std::vector<ProcessSession> sessions;  // the snapshot
    std::vector<std::int32_t> ids;         // the system's list, where no snapshot could be had
    std::string path;                      // the buffer each path is read into
    std::string upperPath;
    std::string upperName;
    std::string upperRunning;
    std::string line;
  };
  Scratch scratch_;
};

}  // namespace pellux
