#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/system_event_log.h"

namespace pellux {

// The kind of an event by its id (a row of the table of events): its level.
[[nodiscard]] const EventKind& KindOf(EventId id);

// The cycle's events (relaunches, failed relaunches, terminations) are
// reported at once only when their kind had no report in this span; others
// are counted and held back, and a summary tells how many once the span
// after the last report has passed. At most one report and one summary per
// span and kind, so a fault that comes back every few cycles cannot flood.
inline constexpr std::uint64_t kRepeatReportSpacingMs = std::uint64_t{10} * 60 * 1000;

// The events that can come back on every cycle, and their summaries.
class HeldBackEvents {
 public:
  HeldBackEvents(SystemEventLog& sink, Clock& clock) : sink_(sink), clock_(clock) {}

  // Writes the event, with the times it came since the last report as its
  // last string, or holds it back when its kind had a report in this span.
  void Repeating(EventId id, std::vector<std::string> strings);
  // Writes the summary (1023) of each kind with occurrences held back and a
  // whole span since its last report; atEnd: of each kind with occurrences
  // held back, whatever the span.
  void Summarise(bool atEnd);

 private:
  struct Repeat {
    bool reported = false;  // a report or a summary was written
    std::uint64_t lastReportMs = 0;
    std::uint32_t heldBack = 0;  // occurrences since it, not reported
    std::string lastText;
  };
  void Summarise(EventId id, Repeat& r, std::uint64_t now, bool atEnd);

  SystemEventLog& sink_;
  Clock& clock_;
  std::map<EventId, Repeat> repeats_;
};

// An outage (the log's stop, the snapshot's loss) told once while it lasts,
// and at most once a span: one that begins sooner is told once the span has
// passed, if it still lasts. Its end is told only after a told start.
class OutageTold {
 public:
  // Whether the outage that goes on at now is to be told now.
  [[nodiscard]] bool Due(std::uint64_t now) const {
    return !told_ && (!toldMs_ || now - *toldMs_ >= kRepeatReportSpacingMs);
  }
  void Told(std::uint64_t now) {
    told_ = true;
    toldMs_ = now;
  }
  // The outage is over: true when its start was told, and so is its end.
  [[nodiscard]] bool Over() {
    const bool told = told_;
    told_ = false;
    return told;
  }

 private:
  bool told_ = false;  // its start told, its end not yet
  std::optional<std::uint64_t> toldMs_;
};

}  // namespace pellux
