#include "supervision/controller_start.h"

namespace pellux {

void ControllerStart::Launched(const RecordedProcess& launcher, std::uint64_t now) {
  starting_ = true;
  launchedMs_ = now;
  launcher_ = launcher;
  launcherEnded_ = false;
  launcherSeenMs_ = launchedMs_;
  lookForJavaw_ = launched_ != nullptr && launcher.Known();
}

bool ControllerStart::Starting(std::uint64_t now) {
  if (!starting_) return false;
  const std::uint64_t sinceLaunch = now - launchedMs_;
  // The launcher counts while it runs, up to the cap; the grace then goes on
  // for kControllerStartGraceMs from the last time it was seen running (the
  // launch itself for one that ended at once, or that is not known).
  if (!launcherEnded_) {
    if (sinceLaunch < kControllerLauncherGraceCapMs && launched_ != nullptr && launched_->StillRuns(launcher_)) {
      launcherSeenMs_ = now;
    } else {
      launcherEnded_ = true;
    }
  }
  if (launcherEnded_ && now - launcherSeenMs_ >= kControllerStartGraceMs) starting_ = false;
  return starting_;
}

void ControllerStart::LookForJavaw(std::uint64_t now) {
  if (!lookForJavaw_) return;
  const RecordedProcess javaw = launched_->StartedBy(launcher_, programs_.controller.runningCheckName);
  if (javaw.Known()) {
    launched_->RecordJavaw(javaw);
    lookForJavaw_ = false;
  } else if (now - launchedMs_ >= kControllerLauncherGraceCapMs + kControllerStartGraceMs) {
    lookForJavaw_ = false;  // a launcher that never started it
  }
}

}  // namespace pellux
