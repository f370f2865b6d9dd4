#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/window_probe.h"

namespace pellux {

// The look at the bridge's top-level windows. A bridge whose windows all go
// unanswered for the limit in a row is to be ended: those shown, and those
// seen shown that are hidden since without an answer (behind the system's
// ghost). At most once every limit.
class HungBridge {
 public:
  // 0: the windows are never looked at.
  void SetLimit(std::uint32_t seconds) { limitMs_ = std::uint64_t{seconds} * 1000; }
  [[nodiscard]] bool Watching() const { return limitMs_ != 0; }

  // Looks at the windows of bridge (0: none is looked at this cycle, which
  // breaks the run of unanswered looks). Tells how long they have gone
  // unanswered when it is time to end it; nothing otherwise.
  [[nodiscard]] std::optional<std::uint64_t> Judge(WindowProbe& windows, std::int32_t bridge, std::uint64_t now);

 private:
  // True when the bridge's windows listed_ holds are judged and none of them
  // answers; keeps seen_ to the judged ones.
  [[nodiscard]] bool JudgedUnanswered();

  std::uint64_t limitMs_ = 0;    // 0: the bridge's windows are not looked at
  std::int32_t unanswered_ = 0;  // the bridge whose windows went unanswered since unansweredMs_
  std::uint64_t unansweredMs_ = 0;
  std::optional<std::uint64_t> hungEndMs_;  // when a hung bridge was last ended
  std::int32_t seenOf_ = 0;                 // the bridge whose windows seen_ holds
  std::vector<std::uint64_t> seen_;         // its windows seen shown, still there and not answering since hidden
  std::vector<std::uint64_t> keep_;         // seen_ in the making
  std::vector<TopLevelWindow> listed_;      // the last look's windows
};

}  // namespace pellux
