#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "platform/process_table.h"
#include "process/controller_match.h"

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
// nothing, with logging on as off; with logging on each process visited is
// logged with its path and the handle it was read through, and a kept one
// with the time it was read before the handle ("... - DESDE <time> - <handle>"). A process whose path
// cannot be read with full query rights (an elevated one) is read with the
// limited ones; one refused both ways is skipped. Where the snapshot cannot
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

  // The session of a process of another logon session whose file name ends
  // with name (in any case), found without opening it, among the sessions
  // counts accepts (all when it is empty); none when no other session runs
  // one, or when no snapshot could be taken (SeesOtherSessions). Writes no
  // log line.
  [[nodiscard]] std::optional<SessionId> OtherSessionRunning(const std::string& name,
                                                             const std::function<bool(SessionId)>& counts = {});

  // The logon sessions other than the monitor's own that run a process now,
  // from one snapshot, in increasing order; empty when none could be taken.
  [[nodiscard]] std::vector<SessionId> OtherSessions();

  // Whether the last look at the other sessions (OtherSessionRunning,
  // OtherSessions) had the system's snapshot. Without it they find nothing,
  // which proves nothing: another session's monitor and bridge are unseen.
  [[nodiscard]] bool SeesOtherSessions() const { return othersSeen_; }
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
  // A process's path as kept between walks, with the handle it was read
  // through and when, for the log.
  struct KeptPath {
    std::int32_t id = 0;
    std::uint64_t created = 0;
    enum class State : unsigned char { Unread, Read, Refused } state = State::Unread;
    std::string path;
    ProcessHandle handle = 0;
    LocalTime readAt{};
  };

  // Calls onProcess(listed, path) for every process of the session whose
  // path can be read, in the snapshot's order, until it answers true.
  template <typename OnProcess>
  void Walk(OnProcess&& onProcess);
  template <typename OnProcess>
  void WalkKept(SessionId own, OnProcess&& onProcess);
  template <typename OnProcess>
  void WalkIds(OnProcess&& onProcess);
  // Drops the kept paths of processes the snapshot no longer lists and makes
  // an unread place for each process it lists for the first time.
  void KeepListed(SessionId own);
  void SnapshotHad(bool had);
  // Whether a process of another session, of the controller's running name,
  // counts as the controller.
  [[nodiscard]] bool CountsAsController(std::int32_t id);

  ProcessTable& table_;
  EventLog& log_;
  ErrorReporter report_;
  std::string ProcessFound_;
  ControllerMatch controller_{table_, log_};
  std::function<void(bool)> snapshotTold_;
  bool othersSeen_ = true;
  // Sorted by id, one for every process of the session the last snapshot
  // listed: the memory stays bounded by what runs.
  std::vector<KeptPath> kept_;
  std::vector<KeptPath> keptNext_;
  std::int32_t foundId_ = 0;
  bool foundUndecided_ = false;
  std::uint64_t foundCreated_ = 0;  // as the snapshot listed it
  // Storage every walk reuses, so that the scan of a table it has seen
  // before allocates nothing: the cycle runs it several times every 3 s for
  // months.
  struct Scratch {
    std::vector<ProcessSession> sessions;  // the snapshot
    std::vector<ProcessSession> own;       // its processes of the monitor's session, sorted by id
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
