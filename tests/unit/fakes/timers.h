#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/timers.h"

namespace pellux::fakes {

class FakeTimers final : public Timers {
 public:
  bool Arm(TimerId t, std::uint32_t ms) override {
    if (refused.count(t) != 0) return false;
    interval[t] = ms;
    history.push_back({t, ms});
    return true;
  }
  void Disarm(TimerId t) override {
    interval[t] = 0;
    history.push_back({t, 0});
  }
  [[nodiscard]] std::uint32_t Interval(TimerId t) const {
    auto it = interval.find(t);
    return it == interval.end() ? 0 : it->second;
  }
  std::map<TimerId, std::uint32_t> interval;
  std::vector<std::pair<TimerId, std::uint32_t>> history;
  std::set<TimerId> refused;  // timers the system cannot make
};

}  // namespace pellux::fakes
