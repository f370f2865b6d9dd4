#pragma once
#include <cstdint>

namespace pellux {

// A local date and time of day, as the log writes it.
struct LocalTime {
  int year = 0;    // four digits
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time.
  [[nodiscard]] virtual LocalTime Now() = 0;
  // Milliseconds since some fixed moment, never going back: for spans of
  // time, which a change of the clock or of summer time must not upset.
  [[nodiscard]] virtual std::uint64_t Milliseconds() = 0;
};

}  // namespace pellux
