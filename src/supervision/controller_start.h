#pragma once
#include <cstdint>

#include "process/launched_programs.h"
#include "programs/programs.h"

namespace pellux {

// The controller's launcher takes a moment to start javaw.exe: for this long
// after start-up launched it, a cycle that does not find it yet leaves the
// bridge alone, until javaw.exe has been seen once.
inline constexpr std::uint64_t kControllerStartGraceMs = std::uint64_t{30} * 1000;
// On a loaded workstation the launcher may take longer: while the launcher
// start-up launched still runs, the grace goes on, for at most this long
// after the launch, and then kControllerStartGraceMs more.
inline constexpr std::uint64_t kControllerLauncherGraceCapMs = std::uint64_t{3} * 60 * 1000;

// The grace of the controller start-up launched, until javaw.exe shows.
class ControllerStart {
 public:
  // launched none: nothing is recorded, the launcher counts as ended.
  ControllerStart(LaunchedPrograms* launched, const ProgramTable& programs)
      : launched_(launched), programs_(programs) {}

  // Start-up launched the controller's launcher (its launch succeeded) at
  // now, or found the one an earlier monitor launched still running.
  void Launched(const RecordedProcess& launcher, std::uint64_t now);
  // True while start-up's controller launch is recent and javaw.exe unseen.
  [[nodiscard]] bool Starting(std::uint64_t now);
  // As the last Starting found it, without a look.
  [[nodiscard]] bool Pending() const { return starting_; }
  // javaw.exe seen once: from now on its absence counts at once.
  void Seen() { starting_ = false; }
  // Records the javaw.exe the controller's launcher started, once it shows.
  void LookForJavaw(std::uint64_t now);

 private:
  LaunchedPrograms* launched_;
  const ProgramTable& programs_;
  bool starting_ = false;
  std::uint64_t launchedMs_ = 0;
  RecordedProcess launcher_;
  bool launcherEnded_ = false;
  std::uint64_t launcherSeenMs_ = 0;
  bool lookForJavaw_ = false;
};

}  // namespace pellux
