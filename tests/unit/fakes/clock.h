#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace pellux::fakes {

class FakeClock final : public Clock {
 public:
  LocalTime Now() override { return now; }
  std::uint64_t Milliseconds() override { return ms; }
  LocalTime now{2020, 6, 7, 17, 3, 28};
  std::uint64_t ms = 1000;
};

}  // namespace pellux::fakes
