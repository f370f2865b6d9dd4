#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/event_log.h"
#include "platform/process_table.h"

namespace pellux {

// The paths of the monitor's session's processes, kept between walks. A path
// is read the first time a walk meets its process and kept for the process's
// life (its id and creation time as the snapshot listed them), with logging
// on as off. What is not kept is read again at the next walk: a path that
// could not be read (a process starting or ending), an empty one, and a
// process that was not the one listed. With logging on each process visited
// is logged: its path and the handle it was read through, and, for a kept
// one, when it was read ("... - DESDE <time> - <handle>").
class KeptPaths {
 public:
  KeptPaths(ProcessTable& table, EventLog& log) : table_(table), log_(log) {}

  // Drops the kept paths of processes the snapshot no longer lists and makes
  // an unread place for each process of the session own it lists for the
  // first time.
  void KeepListed(const std::vector<ProcessSession>& snapshot, SessionId own);

  // The path of listed, a process of the session KeepListed was last given:
  // the kept one, or read now and kept. Nothing when it cannot be read, or
  // when the process opened is not the one listed; a process refused both
  // ways by its access list is not asked again for its life. Logs the
  // process visited when logging is on. The path stays valid until the next
  // call.
  [[nodiscard]] std::optional<std::string_view> PathOf(const ProcessSession& listed, bool logging);

 private:
  // A process's path as kept between walks, with the handle it was read
  // through and when, for the log.
  struct KeptPath {
    std::int32_t id = 0;
    std::uint64_t created = 0;
    enum class State : unsigned char { Unread, Read, Refused } state = State::Unread;
    std::string path;
    ProcessHandle handle = 0;
    LocalTime readAt{};
  };

  ProcessTable& table_;
  EventLog& log_;
  // Sorted by id, one for every process of the session the last snapshot
  // listed: the memory stays bounded by what runs.
  std::vector<KeptPath> kept_;
  std::vector<KeptPath> keptNext_;
  // Storage every walk reuses, so that the scan of a table it has seen
  // before allocates nothing.
  std::vector<ProcessSession> own_;  // the snapshot's processes of the monitor's session, sorted by id
  std::string path_;                 // the buffer each path is read into
  std::string line_;
};

}  // namespace pellux
