#include "supervision/supervision_cycle.h"

namespace pellux {

// Placeholder until the cycle is written.
void SupervisionCycle::Timer1() {}
void SupervisionCycle::Pellux_MONITOR() {}

}  // namespace pellux
