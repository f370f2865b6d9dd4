#pragma once
#include <cstdint>

#include "platform/process_ends.h"

namespace pellux {

// The ends of the controller and the bridge the cycle supervises, told at
// once by the system, so that the cycle can be brought forward. Each watch
// holds a handle on its process; they are given up with the watch.
class WatchedEnds {
 public:
  // ends none: nothing is watched, only the 3-second cycle sees the ends.
  explicit WatchedEnds(ProcessEnds* ends) : ends_(ends) {}
  ~WatchedEnds();
  WatchedEnds(const WatchedEnds&) = delete;
  WatchedEnds& operator=(const WatchedEnds&) = delete;

  // Watches id from now on in place of what was watched; 0 gives it up.
  void WatchController(std::int32_t id, std::uint64_t created, std::uint64_t now) {
    Watch(controller_, id, created, now);
  }
  void WatchBridge(std::int32_t id, std::uint64_t created, std::uint64_t now) { Watch(bridge_, id, created, now); }
  // The bridge watched; 0: none.
  [[nodiscard]] std::int32_t BridgeId() const { return bridge_.id; }

  // Gives up the watches of the programs that ended. True when one of those
  // ends should bring the cycle forward: the controller's, or the bridge's
  // once it ran for at least shortestRunMs (one that ends as soon as it
  // starts waits for the next regular cycle).
  [[nodiscard]] bool TakeEnded(std::uint64_t now, std::uint64_t shortestRunMs);

 private:
  // One supervised process whose end is watched for.
  struct Watched {
    std::int32_t id = 0;  // 0: none
    std::uint64_t created = 0;
    std::uint64_t sinceMs = 0;  // launched, or first found, then
    bool held = false;          // false: refused, the cycle's look alone sees its end
  };
  void Watch(Watched& w, std::int32_t id, std::uint64_t created, std::uint64_t now);

  ProcessEnds* ends_;
  Watched controller_;
  Watched bridge_;
};

}  // namespace pellux
