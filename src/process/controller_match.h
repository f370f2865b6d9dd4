#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/event_log.h"
#include "platform/process_table.h"

namespace pellux {

// What the text says of a process of the controller's running name.
enum class ControllerAnswer : unsigned char {
  Yes,     // its path or its command line holds the text (or no text is set)
  No,      // its command line was read and does not hold it
  Unknown  // its path does not hold it and its command line cannot be read
};

// Tells the controller apart from the other Java programs of a workstation.
// With a text set, a process whose file name is the controller's running
// name is the controller when its executable's path or its command line
// contains the text, in any case, and is not when its command line was read
// without it; without a text, every such process is. One that the text can
// neither confirm nor rule out (an elevated controller on Windows 7, a 64-bit
// one seen from the 32-bit monitor where Windows lacks the WOW64 reads) counts wherever counting keeps the plant
// safe (the bridge is kept, no second controller is launched) and is never
// ended on that ground. A process's path and command line never change, so
// its answer is kept, by its id and creation time, for as long as it is
// listed: its command line is read at most once, and only when its path does
// not already hold the text.
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

  // What the text says of the process (its file name already the running
  // name). path is its executable's full path, or empty when the caller has
  // not read it; it is then read here. One whose path cannot be read either
  // (another user's) is Unknown and keeps the rule of its name.
  [[nodiscard]] ControllerAnswer Answer(std::int32_t id, std::uint64_t created, std::string_view path);
  // Whether the process counts as the controller where counting keeps the
  // plant safe: all but a process ruled out.
  [[nodiscard]] bool Counts(std::int32_t id, std::uint64_t created, std::string_view path) {
    return Answer(id, created, path) != ControllerAnswer::No;
  }

  // Told of a process whose path was read but whose command line could not
  // be: text is the log's line. Once per process (by its id and creation
  // time); a process listed without a creation time is told again.
  void OnUndecided(std::function<void(const std::string& text, const std::string& path, std::int32_t id)> told) {
    undecided_ = std::move(told);
  }

  // Forgets every process for which listed(id, created) is false: those the
  // system no longer lists.
  template <typename Listed>
  void KeepOnly(Listed&& listed) {
    for (std::size_t at = known_.size(); at-- > 0;)
      if (!listed(known_[at].id, known_[at].created)) known_.erase(known_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  [[nodiscard]] std::size_t Known() const { return known_.size(); }

 private:
  struct Kept {
    std::int32_t id;
    std::uint64_t created;
    ControllerAnswer answer;
  };
  [[nodiscard]] ControllerAnswer Decide(std::int32_t id, std::string_view path);
  [[nodiscard]] bool Holds(std::string_view text) const;

  ProcessTable& table_;
  EventLog& log_;
  std::string runningName_;
  std::string stopName_;
  std::string upperText_;
  std::function<void(const std::string&, const std::string&, std::int32_t)> undecided_;
  // Few: the processes of the running name seen lately.
  std::vector<Kept> known_;
};

}  // namespace pellux
