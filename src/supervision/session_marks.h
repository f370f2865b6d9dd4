#pragma once
#include <functional>
#include <optional>

#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/supervision_mark.h"
#include "process/process_services.h"
#include "programs/programs.h"
#include "ui/main_window.h"

namespace pellux {

// One controller and one bridge per workstation, whatever the logon sessions:
// this session's mark of a supervising monitor and the other sessions' marks,
// a bridge that runs in another session, and the cycle's wait while another
// session's monitor supervises.
class SessionMarks {
 public:
  struct Deps {
    ProcessServices& processes;
    MainWindow& window;
    EventLog& log;
    SystemEvents& events;
    const ProgramTable& programs;
    // True while a monitor of another session holds the workstation's claim
    // to launch. None: never.
    const std::function<bool()>& claimedElsewhere;
    // This session's mark, and every other session's; none: no session holds one.
    SupervisionMark* mark = nullptr;
  };
  explicit SessionMarks(Deps deps) : d_(deps) {}

  // The cycle launches and ends nothing and writes no event until
  // LookForOwnSession finds the wait over (SupervisionCycle::WaitForOtherSession).
  void WaitForOtherSession() { waiting_ = true; }
  [[nodiscard]] bool Waiting() const { return waiting_; }
  // Looks whether the wait for another session is over; the cycle that ends
  // it colours both buttons as they are found here and does nothing more.
  void LookForOwnSession();

  // Holds this session's mark while programs run here, unless another
  // monitor holds its own (one supervises at a time), and gives it up once
  // neither runs here. Where two hold theirs, the lower session keeps it.
  void KeepMark(bool programsHere);
  // True when a bridge of another session keeps this one from launching its
  // own (said once for each session that does so), or when the other
  // sessions cannot be seen.
  [[nodiscard]] bool BridgeInOtherSession();
  // True when the bridge is another session's monitor's to start again: it
  // holds its mark (the log says once which monitor the bridge is left to),
  // or the claim to launch.
  [[nodiscard]] bool LeftToOtherSession();

 private:
  // The lowest other session whose monitor holds its mark; none when none
  // does, or when the other sessions cannot be seen.
  [[nodiscard]] std::optional<SessionId> MarkedElsewhere();

  Deps d_;
  bool waiting_ = false;
  bool holdingMark_ = false;
  std::optional<SessionId> bridgeElsewhere_;  // the other session last said to run the bridge
  std::optional<SessionId> leftToOther_;      // the other session last said to supervise the bridge
};

}  // namespace pellux
