#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/launch_record.h"
#include "platform/process_table.h"
#include "process/controller_match.h"

namespace pellux {

// One process the monitor launched, known by its id and its creation time:
// an id alone may since have been given to another process.
struct RecordedProcess {
  std::int32_t id = 0;        // 0: none
  std::uint64_t created = 0;  // as ProcessTable::CreationTime gives it
  [[nodiscard]] bool Known() const { return id > 0 && created != 0; }
  bool operator==(const RecordedProcess& o) const { return id == o.id && created == o.created; }
  bool operator!=(const RecordedProcess& o) const { return !(*this == o); }
};

// What the monitors of this logon session launched and still count as theirs:
// the bridge last launched, the controller's launcher and the javaw.exe that
// launcher started.
struct LaunchedSet {
  RecordedProcess bridge;
  RecordedProcess launcher;
  RecordedProcess javaw;
  bool operator==(const LaunchedSet& o) const {
    return bridge == o.bridge && launcher == o.launcher && javaw == o.javaw;
  }
};

// The record as it is stored: a version line, the three processes and a
// closing line with a checksum of what comes before it.
[[nodiscard]] std::string FormatLaunchRecord(const LaunchedSet& launched);
// nullopt for anything but a whole record of this version: damaged,
// truncated, foreign or of another version, it names nothing to adopt.
[[nodiscard]] std::optional<LaunchedSet> ParseLaunchRecord(std::string_view bytes);

// The launched programs of this monitor and the record of them that a later
// monitor of the session reads. Every change writes the record whole. None of
// its looks at the process table writes a log line.
class LaunchedPrograms {
 public:
  // controller, when given, tells the controller apart from other Java
  // programs wherever a process is looked for by the controller's running name.
  LaunchedPrograms(ProcessTable& table, LaunchRecord& store, ControllerMatch* controller = nullptr)
      : table_(table), store_(store), controller_(controller) {}

  // What an earlier monitor of this session recorded, which this monitor
  // takes as its own; nothing when there is no usable record.
  [[nodiscard]] LaunchedSet ReadRecord();
  // True when ReadRecord found a whole record: an earlier monitor of this
  // session launched the programs.
  [[nodiscard]] bool Recorded() const { return recorded_; }
  [[nodiscard]] const LaunchedSet& Current() const { return current_; }
  void RecordBridge(const RecordedProcess& bridge);
  // A new launcher: the javaw.exe of the one before it is no longer the controller.
  void RecordLauncher(const RecordedProcess& launcher);
  void RecordJavaw(const RecordedProcess& javaw);

  // True while that very process runs: its id held by a process of the same
  // creation time that has not ended.
  [[nodiscard]] bool StillRuns(const RecordedProcess& process);
  // The file name that very process runs under, when it still runs.
  [[nodiscard]] std::optional<std::string> RunningName(const RecordedProcess& process);
  // The process of this logon session whose file name ends in name that
  // parent started (listed with parent's id, created after it, and before any later holder of that
  // id); the first started when there are several. None when not found.
  // For the controller's running name, only a process that counts as the
  // controller.
  [[nodiscard]] RecordedProcess StartedBy(const RecordedProcess& parent, const std::string& name);
  // The first process of this logon session whose file name ends in name and
  // that still runs, whoever started it (for the controller's running name,
  // one that counts as the controller). None when there is none.
  [[nodiscard]] RecordedProcess RunningInSession(const std::string& name);

 private:
  // Replaces what is recorded and writes the record.
  void Record(const LaunchedSet& launched);
  // The creation time of the running process id; nullopt when it cannot be
  // opened or has ended.
  [[nodiscard]] std::optional<std::uint64_t> CreatedIfRunning(std::int32_t id);
  // False for a process of the controller's running name that another Java
  // program runs in.
  [[nodiscard]] bool Counts(const std::string& name, std::int32_t id, std::uint64_t created);

  ProcessTable& table_;
  LaunchRecord& store_;
  ControllerMatch* controller_;
  LaunchedSet current_;
  bool recorded_ = false;
};

}  // namespace pellux
