#include "process/process_services.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/upper_case.h"
#include "process/process_path.h"

namespace pellux {

void ReportError(std::int32_t, const std::string&, const std::string&, const std::string&) {}

namespace {

constexpr std::uint32_t kStartListBytes = 8;       // doubled before the first call: 16 bytes
constexpr std::uint32_t kStartBytesReturned = 96;  // only makes the first call happen
// A table that keeps filling every list it is given would double the list
// for ever; past this size the walk goes on with what the last call listed.
constexpr std::uint32_t kMaxListBytes = 1u << 20;
constexpr char kModuleName[] = "mdlMisc";
constexpr char kRoutineName[] = "Kill_Process";
constexpr std::uint32_t kTerminatedExitCode = 1;

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

// The session's processes in the snapshot's order, each with its kept path
// (KeptPaths).
template <typename OnProcess>
void ProcessServices::WalkKept(SessionId own, OnProcess&& onProcess) {
  kept_.KeepListed(scratch_.sessions, own);
  const bool logging = log_.IsOn();
  for (const ProcessSession& listed : scratch_.sessions) {
    if (listed.session != own) continue;
    const std::optional<std::string_view> path = kept_.PathOf(listed, logging);
    if (path && onProcess(listed, *path)) return;
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

}  // namespace pellux
