#pragma once
#include <cstdint>

namespace pellux {

// Handles on the supervised programs' processes that tell the moment one
// ends, so that the cycle need not wait for its next look. The tell itself
// comes through the window (WindowEvents::OnSupervisedProgramEnded); it never
// blocks the window. Abstract so that the cycle can be driven by a fake.
class ProcessEnds {
 public:
  virtual ~ProcessEnds() = default;
  // Holds a handle with the right to wait on process id and nothing more,
  // and tells once when it ends; created (0: not compared) must be the
  // process's creation time. False when it cannot be opened or the id names
  // another process by now; true at once for one already watched.
  [[nodiscard]] virtual bool Watch(std::int32_t id, std::uint64_t created) = 0;
  // Gives up the handle on id; nothing when none is held.
  virtual void Forget(std::int32_t id) = 0;
  // True when the process id watched has ended; false while it runs or when it is not watched.
  [[nodiscard]] virtual bool Ended(std::int32_t id) = 0;
};

}  // namespace pellux
