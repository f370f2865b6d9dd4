#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/event_log.h"
#include "platform/process_table.h"

namespace pellux {

// Tells the controller apart from the other Java programs of a workstation.
// With a text set, a process whose file name is the controller's running
// name counts as the controller only when its executable's path or its
// command line contains the text, in any case; without one, every such
// process counts. A process's path and command line never change, so its
// answer is kept, by its id and creation time, for as long as it is listed:
// its command line is read at most once, and only when its path does not
// already hold the text.
class ControllerMatch {
 public:
  ControllerMatch(ProcessTable& table, EventLog& log) : table_(table), log_(log) {}

  // The controller's running name and stop name as the callers pass them,
  // and the text (empty: every process of the running name counts).
  void Set(const std::string& runningName, const std::string& stopName, const std::string& text);
  [[nodiscard]] bool On() const { return !upperText_.empty(); }
  [[nodiscard]] bool IsRunningName(std::string_view name) const { return On() && name == runningName_; }
  [[nodiscard]] bool IsStopName(std::string_view name) const { return On() && name == stopName_; }
  [[nodiscard]] const std::string& RunningName() const { return runningName_; }

  // Whether the process (its file name already the running name) counts as
  // the controller. path is its executable's full path, or empty when the
  // caller has not read it; it is then read here. A process whose command
  // line cannot be read is decided by its path alone, and the log says so
  // once; one whose path cannot be read either keeps the rule of its name.
  [[nodiscard]] bool Counts(std::int32_t id, std::uint64_t created, std::string_view path);

  // Forgets every process for which listed(id, created) is false: those the
  // system no longer lists.
  template <typename Listed>
  void KeepOnly(Listed&& listed) {
    for (std::size_t at = known_.size(); at-- > 0;)
      if (!listed(known_[at].id, known_[at].created)) known_.erase(known_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  [[nodiscard]] std::size_t Known() const { return known_.size(); }

 private:
  struct Answer {
    std::int32_t id;
    std::uint64_t created;
    bool counts;
  };
  [[nodiscard]] bool Decide(std::int32_t id, std::string_view path);
  [[nodiscard]] bool Holds(std::string_view text) const;

  ProcessTable& table_;
  EventLog& log_;
  std::string runningName_;
  std::string stopName_;
  std::string upperText_;
  // Few: the processes of the running name seen lately.
  std::vector<Answer> known_;
};

}  // namespace pellux
