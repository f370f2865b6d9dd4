#pragma once
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_event_log.h"

namespace pellux::fakes {

class FakeSystemEventLog final : public SystemEventLog {
 public:
  struct Event {
    EventLevel level;
    EventId id;
    std::vector<std::string> strings;
    bool operator==(const Event& o) const { return level == o.level && id == o.id && strings == o.strings; }
  };
  void Write(EventLevel level, EventId id, const std::vector<std::string>& strings) override {
    if (std::exchange(throwOnNextWrite, false)) throw std::bad_alloc();
    events.push_back({level, id, strings});
    if (onWrite) onWrite();
  }
  [[nodiscard]] std::vector<EventId> Ids() const {
    std::vector<EventId> ids;
    for (const Event& e : events) ids.push_back(e.id);
    return ids;
  }
  std::vector<Event> events;
  bool throwOnNextWrite = false;  // the next event runs out of memory, once
  std::function<void()> onWrite;  // after each event is recorded
};

}  // namespace pellux::fakes
