#include "process/process_services.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/path_buffer.h"
#include "common/upper_case.h"

namespace pellux {

void ReportError(std::int32_t, const std::string&, const std::string&, const std::string&) {}

namespace {

constexpr std::uint32_t kStartListBytes = 8;       // doubled before the first call: 16 bytes
constexpr std::uint32_t kStartBytesReturned = 96;  // only makes the first call happen
// A table that keeps filling every list it is given would double the list
// for ever; past this size the walk goes on with what the last call listed.
constexpr std::uint32_t kMaxListBytes = 1u << 20;
constexpr std::size_t kModuleSlots = 50;
constexpr char kModuleName[] = "mdlMisc";
constexpr char kRoutineName[] = "Kill_Process";
constexpr std::uint32_t kTerminatedExitCode = 1;

// Closes a process handle when the walk leaves a process by any path. Close()
// is the explicit, checked close of the termination sequence; it is also
// attempted for handle 0, which the system refuses.
class HandleGuard {
 public:
  HandleGuard(ProcessTable& table, ProcessHandle handle) : table_(table), handle_(handle) {}
  ~HandleGuard() {
    if (handle_ != 0) (void)table_.Close(handle_);  // nothing to do about a failed close here
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;

  [[nodiscard]] ProcessHandle get() const { return handle_; }
  // Closes the handle held (its result is of no use here) and takes next.
  void Reset(ProcessHandle next = 0) {
    if (handle_ != 0) (void)table_.Close(handle_);
    handle_ = next;
  }
  [[nodiscard]] bool Close() {
    const ProcessHandle handle = handle_;
    handle_ = 0;
    return table_.Close(handle);
  }

 private:
  ProcessTable& table_;
  ProcessHandle handle_;
};

// The comparisons below are of texts already upper-cased by UpperText, both
// sides, in the core's one encoding (UTF-8), byte by byte.
bool EndsWith(std::string_view path, std::string_view name) {
  // The last L characters, or the whole path when it is shorter: a shorter
  // path can only equal the name when both are the same length.
  return path.size() >= name.size() && path.substr(path.size() - name.size()) == name;
}

bool Contains(std::string_view path, std::string_view name) { return path.find(name) != std::string_view::npos; }

// True when the path's file name is name followed by ".EXE".
bool FileNameIsExe(std::string_view path, std::string_view name) {
  const std::size_t slash = path.find_last_of("\\/");
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  constexpr std::string_view kExe = ".EXE";
  return file.size() == name.size() + kExe.size() && file.substr(0, name.size()) == name &&
         file.substr(name.size()) == kExe;
}

// The identifiers of the running processes, in the system's order, into ids.
// The list is made afresh (all zeros) for each call and doubled while a call
// fills it.
void EnumerateProcesses(ProcessTable& table, std::vector<std::int32_t>& ids) {
  std::uint32_t bufferSize = kStartListBytes;
  std::uint32_t bytesReturned = kStartBytesReturned;
  while (bufferSize <= bytesReturned && bufferSize < kMaxListBytes) {
    bufferSize *= 2;
    ids.assign(bufferSize / 4, 0);
    bytesReturned = 0;                                                  // a call that writes nothing has listed nothing
    (void)table.ListProcesses(ids.data(), bufferSize, &bytesReturned);  // success is not examined
  }
  ids.resize(std::min(bytesReturned, bufferSize) / 4);
}

// Asks read for the path into buffer, 260 characters and more, doubled
// while a read comes back full (cut), so that a path of any length is read
// whole. Gives the path, at the start of buffer, or nothing when a read fails
// (0). The buffer keeps its size from one read to the next.
template <typename Read>
std::optional<std::string_view> ReadGrowing(Read&& read, bool emptyIsAPath, std::string& buffer) {
  for (std::uint32_t capacity = kShortPathChars;; capacity *= 2) {
    if (buffer.size() < capacity) buffer.resize(capacity);
    const std::uint32_t copied = read(buffer.data(), capacity);
    if (copied == 0 && !emptyIsAPath) return std::nullopt;
    if (!PathMayBeCut(copied, capacity)) return std::string_view(buffer.data(), std::min(copied, capacity));
  }
}

// Reads the full path of the process's executable: through a kAccessRead
// handle and the first entry of its module list, or, when either is refused
// (a process started elevated, or a 64-bit process seen from a 32-bit
// monitor, whose module list cannot be read across), through a
// kAccessQueryLimited handle and the image path query. Nothing when the
// process is refused both ways (another user's refuses both); handle holds
// the handle the path was read through; the path lies in buffer.
std::optional<std::string_view> ReadPath(ProcessTable& table, HandleGuard& handle, std::int32_t id,
                                         std::string& buffer) {
  handle.Reset(table.Open(kAccessRead, false, id));
  if (handle.get() != 0) {
    std::array<ModuleHandle, kModuleSlots> modules{};
    std::uint32_t bytesNeeded = 0;
    if (table.ListModules(handle.get(), modules.data(), sizeof modules, &bytesNeeded)) {
      // A failed query (0) gives the empty path, and the process still counts.
      return ReadGrowing(
          [&](char* buffer, std::uint32_t capacity) {
            return table.ModulePath(handle.get(), modules[0], buffer, capacity);
          },
          true, buffer);
    }
  }
  handle.Reset();  // closed before the second open
  handle.Reset(table.Open(kAccessQueryLimited, false, id));
  if (handle.get() == 0) return std::nullopt;
  // Here no path is no process: protected and system processes open this
  // way yet name no file, and they stay skipped as before.
  const auto readImage = [&](char* buffer, std::uint32_t capacity) {
    return table.ImagePath(handle.get(), buffer, capacity);
  };
  return ReadGrowing(readImage, false, buffer);
}

// The creation time read through handle is the one the snapshot listed: the
// process opened is the process listed, not a later one under its id. A
// snapshot that gives no creation time (0) cannot be compared.
bool IsListed(ProcessTable& table, ProcessHandle handle, std::uint64_t listed) {
  if (listed == 0) return true;
  std::uint64_t created = 0;
  return table.CreationTime(handle, &created) && created == listed;
}

constexpr std::int32_t kAccessDenied = 5;

// Appends when a kept path was read, as the log stamps its lines.
void AppendStamp(std::string& line, const LocalTime& when) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                              when.hour, when.minute, when.second);
  if (n > 0) line.append(text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
}

// What became of a match: passed over (its termination open was refused),
// gone (its id names another process now), terminated, or opened yet not
// terminated.
enum class EndResult { Refused, Gone, Terminated, NotTerminated };

EndResult EndProcess(ProcessTable& table, const ErrorReporter& reporter, const ProcessSession& listed) {
  const auto report = [&](const char* description) {
    const std::int32_t number = table.LastError();  // taken right after the failed call
    if (reporter) reporter(number, description, kModuleName, kRoutineName);
  };
  // A namesake the monitor may read but not end (an elevated one) is passed over, so that it cannot shield the real
  // bridge listed after it.
  HandleGuard process(table, table.Open(kAccessTerminate, false, listed.id));
  if (process.get() == 0) {
    report("OpenProcess failed");
    return EndResult::Refused;
  }
  // The process listed may have ended since and its id gone to a new one,
  // perhaps another session's: that one is not ended.
  if (!IsListed(table, process.get(), listed.created)) return EndResult::Gone;
  // Each later step runs whatever became of the one before it.
  std::uint32_t exitCode = 0;
  if (!table.ExitCode(process.get(), &exitCode)) report("GetExitCodeProcess failed");
  // The exit code just read is STILL_ACTIVE (259) for a running process;
  // handing it on would leave the ended process reporting "still active" to
  // everyone who waits on it, so it ends with 1.
  const bool terminated = table.Terminate(process.get(), kTerminatedExitCode);
  if (!terminated) report("TerminateProcess failed");
  if (!process.Close()) report("CloseHandle failed");
  return terminated ? EndResult::Terminated : EndResult::NotTerminated;
}

}  // namespace

void ProcessServices::SnapshotHad(bool had) {
  if (snapshotTold_) snapshotTold_(had);
}

template <typename OnProcess>
void ProcessServices::Walk(OnProcess&& onProcess) {
  // The walk's lines go to the file with one open-append-close.
  const LogBatch batch(log_);
  const bool had = table_.ListSessions(&scratch_.sessions);
  SnapshotHad(had);
  // The answers kept about the controller go with their processes, of any session.
  if (had && controller_.Known() != 0)
    controller_.KeepOnly([&](std::int32_t id, std::uint64_t created) {
      return std::any_of(scratch_.sessions.begin(), scratch_.sessions.end(),
                         [&](const ProcessSession& listed) { return listed.id == id && listed.created == created; });
    });
  if (!had) {
    WalkIds(onProcess);
  } else {
    WalkKept(table_.CurrentSession(), onProcess);
  }
}

void ProcessServices::KeepListed(SessionId own) {
  Scratch& scratch = scratch_;
  scratch.own.clear();
  for (const ProcessSession& listed : scratch.sessions)
    if (listed.session == own) scratch.own.push_back(listed);
  std::sort(scratch.own.begin(), scratch.own.end(),
            [](const ProcessSession& a, const ProcessSession& b) { return a.id < b.id; });
  // Both lists are sorted by id: one pass carries over what is still listed.
  keptNext_.clear();
  auto kept = kept_.begin();
  for (const ProcessSession& listed : scratch.own) {
    while (kept != kept_.end() && kept->id < listed.id) ++kept;
    if (kept != kept_.end() && kept->id == listed.id && kept->created == listed.created && listed.created != 0) {
      keptNext_.push_back(std::move(*kept));
    } else {
      keptNext_.push_back({listed.id, listed.created, KeptPath::State::Unread, {}});
    }
  }
  kept_.swap(keptNext_);
}

// A path is read the first time a walk meets its process and kept for the
// process's life, with logging on as off. What is not kept is read again at
// the next walk: a path that could not be read (a process starting or
// ending), an empty one, and a process that was not the one listed. With
// logging on each process visited is logged: its path and the handle it was
// read through, and, for a kept one, when it was read.
template <typename OnProcess>
void ProcessServices::WalkKept(SessionId own, OnProcess&& onProcess) {
  KeepListed(own);
  Scratch& scratch = scratch_;
  const bool logging = log_.IsOn();
  for (const ProcessSession& listed : scratch.sessions) {
    if (listed.session != own) continue;
    KeptPath& kept = *std::lower_bound(kept_.begin(), kept_.end(), listed.id,
                                       [](const KeptPath& k, std::int32_t id) { return k.id < id; });
    if (kept.state == KeptPath::State::Refused) continue;
    if (kept.state == KeptPath::State::Read) {
      if (logging) {
        scratch.line.assign(kept.path).append(" - DESDE ");
        AppendStamp(scratch.line, kept.readAt);
        scratch.line.append(" - ").append(std::to_string(kept.handle));
        log_.WriteLogLine(scratch.line);
      }
      if (onProcess(listed, std::string_view(kept.path))) return;
      continue;
    }
    std::optional<std::string_view> read;
    ProcessHandle readThrough = 0;
    {
      HandleGuard handle(table_, 0);
      read = ReadPath(table_, handle, listed.id, scratch.path);
      if (!read) {
        // Refused both ways by its access list: so it stays for its life.
        if (handle.get() == 0 && table_.LastError() == kAccessDenied) kept.state = KeptPath::State::Refused;
        continue;
      }
      if (!IsListed(table_, handle.get(), listed.created)) continue;
      readThrough = handle.get();
    }
    if (logging) {
      scratch.line.assign(*read).append(" - ").append(std::to_string(readThrough));
      log_.WriteLogLine(scratch.line);
    }
    if (!read->empty() && listed.created != 0) {
      kept.path.assign(*read);
      kept.state = KeptPath::State::Read;
      kept.handle = readThrough;
      if (logging) kept.readAt = log_.Now();
    }
    if (onProcess(listed, *read)) return;
  }
}

// Without a snapshot: the system's list of ids, each process asked for its
// session; one that cannot be asked is another user's.
template <typename OnProcess>
void ProcessServices::WalkIds(OnProcess&& onProcess) {
  Scratch& scratch = scratch_;
  const SessionId own = table_.CurrentSession();
  EnumerateProcesses(table_, scratch.ids);
  for (const std::int32_t id : scratch.ids) {
    SessionId session = 0;
    if (!table_.SessionOf(id, &session) || session != own) continue;
    HandleGuard handle(table_, 0);
    const std::optional<std::string_view> read = ReadPath(table_, handle, id, scratch.path);
    if (!read) continue;
    if (log_.IsOn()) {
      scratch.line.assign(*read).append(" - ").append(std::to_string(handle.get()));
      log_.WriteLogLine(scratch.line);
    }
    if (onProcess(ProcessSession{id, own, 0}, *read)) return;
  }
}

void ProcessServices::IsProcessRunning(const std::string& name) {
  ProcessFound_.clear();
  foundId_ = 0;
  foundUndecided_ = false;
  Scratch& scratch = scratch_;
  UpperTextInto(name, scratch.upperName);
  foundCreated_ = 0;
  const bool controller = controller_.IsRunningName(name);
  Walk([&](const ProcessSession& listed, std::string_view path) {
    if (path.size() < scratch.upperName.size()) return false;
    // Only the path's end can match, so only the end is upper-cased, from the
    // byte before it: a two-byte letter may begin there and end inside it.
    const std::size_t tail = path.size() - scratch.upperName.size();
    UpperTextInto(path.substr(tail == 0 ? 0 : tail - 1), scratch.upperPath);
    if (!EndsWith(scratch.upperPath, scratch.upperName)) return false;
    const ControllerAnswer answer = controller ? controller_.Answer(listed.id, listed.created, path)
                                               : ControllerAnswer::Yes;
    if (answer == ControllerAnswer::No) return false;
    foundUndecided_ = answer == ControllerAnswer::Unknown;
    ProcessFound_ = "YES";
    foundId_ = listed.id;
    foundCreated_ = listed.created;
    return true;
  });
}

KillOutcome ProcessServices::Kill_Process(const std::string& name) {
  KillOutcome outcome;
  // An empty fragment would occur in every path and end whatever process the
  // system happens to list first.
  if (name.empty()) return outcome;
  // A monitor kept in a folder that bears the name, as in
  // C:\Lintaro tools\PelluxMONITOR.exe, would end itself: its own process is
  // passed over as if it did not match, and the walk goes on.
  const std::int32_t own = table_.CurrentProcessId();
  // Once a match has refused, only the program itself may stand in for it: a
  // mere path match (C:\javaw-tools\x.exe after an elevated javaw.exe) is
  // some operator's unrelated program, and ending it would report the real
  // one as stopped.
  bool refused = false;
  Scratch& scratch = scratch_;
  UpperTextInto(name, scratch.upperName);
  const std::string_view upperName = scratch.upperName;
  // The controller's stop ends only a process that counts as the controller.
  const bool controller = controller_.IsStopName(name);
  UpperTextInto(controller_.RunningName(), scratch.upperRunning);
  Walk([&](const ProcessSession& listed, std::string_view path) {
    UpperTextInto(path, scratch.upperPath);
    const std::string_view upperPath = scratch.upperPath;
    if (listed.id == own || !Contains(upperPath, upperName)) return false;
    if (refused && !FileNameIsExe(upperPath, upperName)) return false;
    if (controller) {
      if (!EndsWith(upperPath, scratch.upperRunning)) return false;
      // Never ended on a guess: it may be another program's Java.
      if (controller_.Answer(listed.id, listed.created, path) != ControllerAnswer::Yes) return false;
    }
    const EndResult result = EndProcess(table_, report_, listed);
    if (result == EndResult::Gone) return false;
    if (result == EndResult::Refused) {
      refused = true;
      outcome.refused = true;
      return false;  // as if it did not match
    }
    outcome = {listed.id, result == EndResult::Terminated, refused};
    return true;  // only the first match that could be opened, whatever became of it
  });
  return outcome;
}

KillOutcome ProcessServices::EndProcessId(std::int32_t processId) {
  if (processId <= 0 || processId == table_.CurrentProcessId()) return {};
  // The process the last scan found is checked to be the one it listed.
  const ProcessSession listed{processId, 0, processId == foundId_ ? foundCreated_ : 0};
  const EndResult result = EndProcess(table_, report_, listed);
  if (result == EndResult::Refused || result == EndResult::Gone) return {};
  return {processId, result == EndResult::Terminated};
}

std::optional<SessionId> ProcessServices::OtherSessionRunning(const std::string& name,
                                                              const std::function<bool(SessionId)>& counts) {
  std::vector<ProcessEntry> entries;
  if (name.empty()) return std::nullopt;
  othersSeen_ = table_.ListFamilies(&entries);
  SnapshotHad(othersSeen_);
  if (!othersSeen_) return std::nullopt;
  const SessionId own = table_.CurrentSession();
  const bool controller = controller_.IsRunningName(name);
  for (const ProcessEntry& entry : entries) {
    if (entry.session == own || !NameEndsWith(entry.exeName, name) || (counts && !counts(entry.session))) continue;
    if (controller && !CountsAsController(entry.id)) continue;
    return entry.session;
  }
  return std::nullopt;
}

bool ProcessServices::CountsAsController(std::int32_t id) {
  // The creation time through a limited handle, so that the answer is kept
  // for that very process; unknown, it is asked again next time.
  std::uint64_t created = 0;
  if (const ProcessHandle handle = table_.Open(kAccessQueryLimited, false, id); handle != 0) {
    (void)table_.CreationTime(handle, &created);
    (void)table_.Close(handle);  // nothing to do about a failed close
  }
  return controller_.Counts(id, created, {});
}

std::vector<SessionId> ProcessServices::OtherSessions() {
  std::vector<SessionId> sessions;
  othersSeen_ = table_.ListSessions(&scratch_.sessions);
  SnapshotHad(othersSeen_);
  if (!othersSeen_) return sessions;
  const SessionId own = table_.CurrentSession();
  for (const ProcessSession& listed : scratch_.sessions)
    if (listed.session != own) sessions.push_back(listed.session);
  std::sort(sessions.begin(), sessions.end());
  sessions.erase(std::unique(sessions.begin(), sessions.end()), sessions.end());
  return sessions;
}

}  // namespace pellux
