#include "supervision/watched_ends.h"

#include <initializer_list>

namespace pellux {

WatchedEnds::~WatchedEnds() {
  for (const Watched* w : {&controller_, &bridge_})
    if (w->held) ends_->Forget(w->id);
}

void WatchedEnds::Watch(Watched& w, std::int32_t id, std::uint64_t created, std::uint64_t now) {
  if (w.id == id && w.created == created) return;
  if (w.held) ends_->Forget(w.id);
  w = {id, created, now, id != 0 && ends_ != nullptr && ends_->Watch(id, created)};
}

bool WatchedEnds::TakeEnded(std::uint64_t now, std::uint64_t shortestRunMs) {
  bool early = false;
  for (Watched* w : {&controller_, &bridge_}) {
    if (!w->held || !ends_->Ended(w->id)) continue;
    // A bridge that ended as soon as it started (its port missing, say)
    // waits for the next regular cycle, so that it is started again no
    // more often than once a cycle.
    early |= w == &controller_ || now - w->sinceMs >= shortestRunMs;
    Watch(*w, 0, 0, now);
  }
  return early;
}

}  // namespace pellux
