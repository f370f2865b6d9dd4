#pragma once
#include <cstdint>
#include <string>

#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/platform.h"
#include "process/process_services.h"
#include "programs/programs.h"
#include "supervision/supervision_cycle.h"
#include "ui/main_window.h"

namespace pellux {

// Start-up's word while the other sessions' monitors and bridges cannot be seen.
inline constexpr char kOtherSessionsUnseenText[] =
    "PelluxMONITOR cannot see the other logon sessions: it launches nothing until it can";

// Every box the monitor shows: the workstation's claim to launch is given up
// first, as nobody may answer a box for days (a disconnected session) while
// the monitors of the other sessions wait on the claim.
class ClaimFreeBoxes final : public Dialogs {
 public:
  ClaimFreeBoxes(Dialogs& boxes, WorkstationClaim& claim) : boxes_(boxes), claim_(claim) {}
  void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    claim_.Release();
    ++shown_;
    boxes_.ShowBox(text, caption, style);
  }
  // How many boxes were shown so far: one since a look means the claim was
  // given up after it.
  [[nodiscard]] std::uint64_t Shown() const { return shown_; }

 private:
  Dialogs& boxes_;
  WorkstationClaim& claim_;
  std::uint64_t shown_ = 0;
};

// Start-up's look at the other logon sessions before it launches, and its
// wait: for another session's monitor, or while the other sessions cannot
// be seen.
class StartWait {
 public:
  struct Deps {
    const Platform& platform;  // the buttons, the marks, the claim to launch
    ProcessServices& processes;
    SystemEvents& events;
    MainWindow& window;
    EventLog& log;
    SupervisionCycle& cycle;
    const ProgramTable& programs;
  };
  explicit StartWait(Deps deps) : d_(deps) {}

  // True when start-up must launch neither program: one runs in another
  // logon session, or another session's monitor holds the claim to launch.
  // The buttons, the strip, the log and one event then say so. True also,
  // with Unseen(), while the other sessions cannot be seen.
  [[nodiscard]] bool OtherSessionAtStart();
  // Waits as a second monitor does, or, while the other sessions cannot be
  // seen, says so once (unseenBefore: it was said already).
  void WaitAtStart(bool unseenBefore);
  // The other sessions could not be seen at start-up's last look: each
  // Timer1 tick looks again first.
  [[nodiscard]] bool Unseen() const { return unseen_; }
  // Unseen(), which the next look finds afresh.
  [[nodiscard]] bool TakeUnseen() {
    const bool unseen = unseen_;
    unseen_ = false;
    return unseen;
  }

 private:
  void ShowWaiting(const std::string& text);

  Deps d_;
  bool unseen_ = false;
};

}  // namespace pellux
