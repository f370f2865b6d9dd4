#include "log/held_back_events.h"

#include <stdexcept>
#include <utility>

namespace pellux {

const EventKind& KindOf(EventId id) {
  for (const EventKind& kind : kEventKinds)
    if (kind.id == id) return kind;
  throw std::out_of_range("unknown event id");
}

void HeldBackEvents::Repeating(EventId id, std::vector<std::string> strings) {
  const std::uint64_t now = clock_.Milliseconds();
  Repeat& r = repeats_[id];
  r.lastText = strings.front();
  if (r.reported && now - r.lastReportMs < kRepeatReportSpacingMs) {
    ++r.heldBack;
    return;
  }
  // The count includes this occurrence: the times since the last report.
  strings.push_back(std::to_string(r.heldBack + 1));
  sink_.Write(KindOf(id).level, id, strings);
  r.reported = true;
  r.lastReportMs = now;
  r.heldBack = 0;
}

void HeldBackEvents::Summarise(bool atEnd) {
  const std::uint64_t now = clock_.Milliseconds();
  for (auto& [id, r] : repeats_) Summarise(id, r, now, atEnd);
}

void HeldBackEvents::Summarise(EventId id, Repeat& r, std::uint64_t now, bool atEnd) {
  if (r.heldBack == 0 || (!atEnd && now - r.lastReportMs < kRepeatReportSpacingMs)) return;
  // At the level of what it sums up: a collector that watches warnings and
  // errors must see that the fault went on.
  sink_.Write(KindOf(id).level, EventId::RepeatSummary,
              {r.lastText, std::to_string(static_cast<std::uint32_t>(id)), std::to_string(r.heldBack)});
  // The summary counts as the kind's report, so a fault that comes back just
  // after it is held back again rather than reported at once.
  r.lastReportMs = now;
  r.heldBack = 0;
}

}  // namespace pellux
