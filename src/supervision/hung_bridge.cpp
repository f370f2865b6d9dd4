#include "supervision/hung_bridge.h"

#include <algorithm>

namespace pellux {

std::optional<std::uint64_t> HungBridge::Judge(WindowProbe& windows, std::int32_t bridge, std::uint64_t now) {
  if (bridge == 0) {
    unanswered_ = 0;
    return std::nullopt;
  }
  if (bridge != seenOf_) {
    seenOf_ = bridge;
    seen_.clear();
  }
  windows.Look(bridge, listed_);
  if (!JudgedUnanswered()) {
    unanswered_ = 0;
    return std::nullopt;
  }
  if (unanswered_ != bridge) {
    unanswered_ = bridge;
    unansweredMs_ = now;
  }
  const std::uint64_t unansweredFor = now - unansweredMs_;
  if (unansweredFor < limitMs_) return std::nullopt;
  // A bridge that hangs again at once after each start is ended at most once a period.
  if (hungEndMs_ && now - *hungEndMs_ < limitMs_) return std::nullopt;
  hungEndMs_ = now;
  unanswered_ = 0;
  return unansweredFor;
}

bool HungBridge::JudgedUnanswered() {
  // The windows judged: those shown now, and those seen shown before that are
  // hidden now without an answer. A window that stops answering for about
  // five seconds may be hidden by the window manager behind a ghost of its
  // own (at the latest once the operator clicks or moves it), and a hung
  // bridge must not escape the check that way. A hidden window that answers,
  // or one never seen shown, says nothing.
  std::size_t judged = 0;
  std::size_t answering = 0;
  keep_.clear();
  for (const TopLevelWindow& window : listed_) {
    const bool seen = std::find(seen_.begin(), seen_.end(), window.handle) != seen_.end();
    if (!window.visible && (!seen || window.answering)) continue;
    keep_.push_back(window.handle);
    ++judged;
    if (window.answering) ++answering;
  }
  seen_.swap(keep_);  // a window that has gone is forgotten
  // A bridge without such a window is never judged; one window that answers is enough.
  return judged != 0 && answering == 0;
}

}  // namespace pellux
