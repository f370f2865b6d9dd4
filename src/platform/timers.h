#pragma once
#include <cstdint>

namespace pellux {

enum class TimerId : std::uint32_t { Timer1 = 1, Timer3 = 3 };

// Window timers on the user-interface thread. Arming a running timer starts
// its countdown again.
class Timers {
 public:
  virtual ~Timers() = default;
  // False when the system could not make the timer.
  virtual bool Arm(TimerId timer, std::uint32_t intervalMs) = 0;
  // Disabled with interval 0: no tick arrives until it is armed again.
  virtual void Disarm(TimerId timer) = 0;
};

}  // namespace pellux
