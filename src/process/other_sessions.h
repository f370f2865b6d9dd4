#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/process_table.h"
#include "process/controller_match.h"

namespace pellux {

// The look at the logon sessions other than the monitor's own: what runs
// there is found from the system's snapshot, without opening a process, and
// writes no log line. Without the snapshot the look finds nothing, which
// proves nothing.
class OtherSessionsLook {
 public:
  // snapshotTold is told after every look whether it had the snapshot.
  OtherSessionsLook(ProcessTable& table, ControllerMatch& controller, const std::function<void(bool had)>& snapshotTold)
      : table_(table), controller_(controller), snapshotTold_(snapshotTold) {}

  // The session of a process of another logon session whose file name ends
  // with name (in any case), found without opening it, among the sessions
  // counts accepts (all when it is empty); none when no other session runs
  // one, or when no snapshot could be taken (SeesOtherSessions). Where name
  // is the controller's running name, only a process that counts as the
  // controller.
  [[nodiscard]] std::optional<SessionId> OtherSessionRunning(const std::string& name,
                                                             const std::function<bool(SessionId)>& counts = {});

  // The logon sessions other than the monitor's own that run a process now,
  // from one snapshot, in increasing order; empty when none could be taken.
  [[nodiscard]] std::vector<SessionId> OtherSessions();

  // Whether the last look had the system's snapshot. Without it another
  // session's monitor and bridge are unseen.
  [[nodiscard]] bool SeesOtherSessions() const { return othersSeen_; }

 private:
  // Whether a process of another session, of the controller's running name,
  // counts as the controller.
  [[nodiscard]] bool CountsAsController(std::int32_t id);
  void SnapshotHad(bool had) const {
    if (snapshotTold_) snapshotTold_(had);
  }

  ProcessTable& table_;
  ControllerMatch& controller_;
  const std::function<void(bool)>& snapshotTold_;
  bool othersSeen_ = true;
  std::vector<ProcessSession> sessions_;  // the snapshot, its storage reused
};

}  // namespace pellux
