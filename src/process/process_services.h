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
};

// Whether a program runs, and terminating one, by walking the process table
// afresh on every call. Only the processes of the monitor's own logon session
// are looked at: another session's are neither counted nor ended, whoever
// owns them. A process whose path cannot be read with full query rights (an
// elevated one) is read with the limited ones; one refused both ways is
// skipped. Every handle opened is closed before a call returns. Where a
// call names the controller (its running name, its stop name) and a text
// tells the controller apart, only a process that counts as the controller
// matches (ControllerMatch).
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
  // name plus ".exe" (in any case) counts as a match. Reports failures to the hook only; the outcome tells
  // the caller what was matched and ended.
  KillOutcome Kill_Process(const std::string& name);

  // Terminates (exit code 1) the process processId, as Kill_Process ends its
  // match, without a walk. Reports failures to the hook only.
  KillOutcome EndProcessId(std::int32_t processId);

  // The session of a process of another logon session whose file name ends
  // with name (in any case), found without opening it; none when no other
  // session runs one. Writes no log line.
  [[nodiscard]] std::optional<SessionId> OtherSessionRunning(const std::string& name);

  [[nodiscard]] ControllerMatch& Controller() { return controller_; }

  [[nodiscard]] const std::string& ProcessFound() const { return ProcessFound_; }
  [[nodiscard]] bool Found() const { return ProcessFound_ == "YES"; }
  // The process the last IsProcessRunning found; 0 when it found none.
  [[nodiscard]] std::int32_t FoundId() const { return foundId_; }

 private:
  ProcessTable& table_;
  EventLog& log_;
  ErrorReporter report_;
  std::string ProcessFound_;
  std::int32_t foundId_ = 0;
  ControllerMatch controller_{table_, log_};
  // Storage every walk reuses, so that the scan of a table it has seen
  // before allocates nothing: the cycle runs it several times every 3 s for
  // months.
  struct Scratch {
    std::vector<ProcessSession> sessions;
    std::vector<std::int32_t> own;  // the ids of the monitor's own session, sorted
    std::vector<std::int32_t> ids;  // the system's list
    std::string path;               // the buffer each path is read into
    std::string upperPath;
    std::string upperName;
    std::string upperRunning;
    std::string line;
  };
  Scratch scratch_;
};

}  // namespace pellux
