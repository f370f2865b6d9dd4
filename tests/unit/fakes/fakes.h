#pragma once
// Small fakes of everything the operating system provides. Each records what
// was asked of it; those that matter for order also write to a shared
// journal, so a test can assert the sequence a user would see.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/event_log.h"
#include "platform/accessibility.h"
#include "platform/platform.h"
#include "programs/programs.h"

namespace pellux {

// The built-in records, as the tests name them.
inline const SupervisedProgram& kController = BuiltInPrograms().controller;
inline const SupervisedProgram& kBridge = BuiltInPrograms().bridge;

}  // namespace pellux

namespace pellux::fakes {

using Journal = std::vector<std::string>;

// A worker that runs each job at once on the file system it was made by,
// unless the share hangs: then its jobs wait until the test lets them run,
// and a drain comes back unanswered. What it was asked outlives it.
struct FakeWorkerRecord {
  bool hangs = false;  // the share under the worker never answers
  std::vector<std::uint32_t> drainWaitMs;
  std::size_t jobsLeftAtEnd = 0;  // handed over, never run
  std::deque<std::function<void(FileSystem&)>> jobs;
  std::function<void(FileSystem&)> underWayAtEnd;  // the first of them, which the share held
};

class FakeFileWorker final : public FileWorker {
 public:
  FakeFileWorker(FileSystem& files, FakeWorkerRecord& record) : files_(files), record_(record) {}
  ~FakeFileWorker() override {
    record_.jobsLeftAtEnd = record_.jobs.size();
    if (!record_.jobs.empty()) record_.underWayAtEnd = std::move(record_.jobs.front());
    record_.jobs.clear();
  }
  bool Post(std::function<void(FileSystem&)> job) override {
    record_.jobs.push_back(std::move(job));
    if (!record_.hangs) RunPending(files_, record_);
    return true;
  }
  bool Drain(std::uint32_t waitMs) override {
    record_.drainWaitMs.push_back(waitMs);
    if (!record_.hangs) RunPending(files_, record_);
    return record_.jobs.empty();
  }
  static void RunPending(FileSystem& files, FakeWorkerRecord& record) {
    while (!record.jobs.empty()) {
      auto job = std::move(record.jobs.front());
      record.jobs.pop_front();
      job(files);
    }
  }

 private:
  FileSystem& files_;
  FakeWorkerRecord& record_;
};

class FakeFileSystem final : public FileSystem {
 public:
  struct Entry {
    std::string contents;
    bool directory = false;
    bool readOnly = false;
    bool locked = false;  // held open without sharing by its writer
  };

  void AddFile(const std::string& path, std::string contents = {}) { entries[path] = {std::move(contents)}; }
  void AddDirectory(const std::string& path) { entries[path] = {{}, true}; }
  void Remove(const std::string& path) { entries.erase(path); }
  [[nodiscard]] bool Has(const std::string& path) const { return entries.count(path) != 0; }
  [[nodiscard]] std::string Contents(const std::string& path) const {
    auto it = entries.find(path);
    return it == entries.end() ? std::string() : it->second.contents;
  }

  bool Exists(const std::string& path) override {
    existsAsked.push_back(path);
    return entries.count(path) != 0;
  }
  bool Append(const std::string& path, const std::string& bytes) override {
    if (std::exchange(throwOnNextAppend, false)) throw std::bad_alloc();
    if (onWrite) onWrite("append");
    ++appends;
    auto it = entries.find(path);
    if (it == entries.end()) {
      if (failCreate) return false;
      entries[path] = {bytes};
      return true;
    }
    if (it->second.directory || it->second.readOnly || it->second.locked) return false;
    it->second.contents += bytes;
    return true;
  }
  // A viewer that maps the file keeps it from being emptied as well.
  bool Overwrite(const std::string& path, const std::string& bytes) override {
    if (onWrite) onWrite("overwrite");
    ++overwrites;
    auto it = entries.find(path);
    if (it == entries.end() || it->second.directory || it->second.readOnly || it->second.locked || refuseOverwrite)
      return false;
    it->second.contents = bytes;
    return true;
  }
  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    if (onWrite) onWrite("size");
    auto it = entries.find(path);
    if (it == entries.end() || it->second.directory) return std::nullopt;
    return it->second.contents.size();
  }
  // A file held by a viewer that shares it for reading only cannot be renamed.
  bool Replace(const std::string& from, const std::string& to) override {
    if (onWrite) onWrite("rename");
    ++replaces;
    auto it = entries.find(from);
    if (it == entries.end() || it->second.directory || it->second.locked || refuseRename) return false;
    Entry moved = std::move(it->second);
    entries.erase(it);
    entries[to] = std::move(moved);
    return true;
  }
  std::unique_ptr<FileWorker> StartWorker() override { return std::make_unique<FakeFileWorker>(*this, worker); }
  // The share answers again: the jobs that waited run.
  void ShareAnswers() {
    worker.hangs = false;
    FakeFileWorker::RunPending(*this, worker);
  }
  std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) override {
    if (std::exchange(throwOnNextRead, false)) throw std::bad_alloc();
    readsAsked.push_back(path);
    lastReadLimit = maxBytes;
    auto it = entries.find(path);
    if (it == entries.end() || it->second.directory || it->second.locked) return std::nullopt;
    return it->second.contents.substr(0, maxBytes);
  }
  bool MayBlock(const std::string& path) override {
    for (const std::string& prefix : distantPrefixes)
      if (path.rfind(prefix, 0) == 0) return true;
    return false;
  }
  // A look answers answerAfterMs[path] after its start (at once when not
  // given), a share that has gone (unanswered) never; a wait shows on the
  // clock, when one is given, as time gone by. What is there is read when
  // the answer is taken.
  LookId StartLook(const std::string& path, std::size_t maxBytes) override {
    looksAsked.push_back(path);
    if (failStartLook) return 0;
    int out = 1;
    for (const auto& [id, look] : looksOut) out += look.path == path ? 1 : 0;
    mostLooksOut[path] = std::max(mostLooksOut[path], out);
    const auto late = answerAfterMs.find(path);
    looksOut[++lastLook] = {path, maxBytes, LookNow() + (late != answerAfterMs.end() ? late->second : 0)};
    return lastLook;
  }
  bool LookAnswered(LookId look, std::uint32_t waitMs) override {
    lastLookWaitMs = waitMs;
    longestLookWaitMs = std::max(longestLookWaitMs, waitMs);
    const auto it = looksOut.find(look);
    if (it == looksOut.end()) return false;
    std::uint64_t& now = LookNow();
    if (unanswered.count(it->second.path) != 0 || it->second.answerAtMs > now + waitMs) {
      now += waitMs;
      return false;
    }
    now = std::max(now, it->second.answerAtMs);
    return true;
  }
  DistantLook TakeLook(LookId look) override {
    const auto out = looksOut.find(look);
    if (out == looksOut.end() || unanswered.count(out->second.path) != 0 || out->second.answerAtMs > LookNow()) {
      return {};
    }
    const std::size_t maxBytes = out->second.maxBytes;
    auto it = entries.find(out->second.path);
    looksOut.erase(out);
    if (it == entries.end()) return {LookAnswer::Absent, std::nullopt};
    const bool readable = !it->second.directory && !it->second.locked;
    return {LookAnswer::Present,
            readable ? std::optional<std::string>(it->second.contents.substr(0, maxBytes)) : std::nullopt};
  }
  void CancelLook(LookId look) override {
    const auto out = looksOut.find(look);
    if (out == looksOut.end()) return;
    looksCancelled.push_back(out->second.path);
    looksOut.erase(out);
  }
  // The code page of the tests is Latin-1: a character above U+00FF has no
  // byte and becomes '?'.
  std::string ToCodePage(std::string text) override {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return text;  // ASCII is the same in every code page
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
      const auto lead = static_cast<unsigned char>(text[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (length == 2 && i + 1 < text.size() && lead <= 0xC3) {
        out += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
      } else {
        out += length == 1 ? text[i] : '?';
      }
      i += length;
    }
    return out;
  }

  std::map<std::string, Entry> entries;
  std::vector<std::string> distantPrefixes{"\\\\"};    // shares; a test adds network drives
  std::set<std::string> unanswered;                    // distant paths whose looks answer only once out of it
  std::map<std::string, std::uint64_t> answerAfterMs;  // distant paths whose looks answer late
  std::vector<std::string> looksAsked;
  struct FakeLook {
    std::string path;
    std::size_t maxBytes = 0;
    std::uint64_t answerAtMs = 0;
  };
  std::map<LookId, FakeLook> looksOut;      // started, neither taken nor cancelled
  std::map<std::string, int> mostLooksOut;  // the most looks at a path ever out at once
  std::vector<std::string> looksCancelled;
  LookId lastLook = 0;
  bool failStartLook = false;  // no thread to be had
  std::uint64_t lookMs = 0;    // the looks' own time when no clock is given
  std::uint64_t& LookNow() { return clockMs != nullptr ? *clockMs : lookMs; }
  std::uint32_t lastLookWaitMs = 0;
  std::uint32_t longestLookWaitMs = 0;
  std::uint64_t* clockMs = nullptr;  // moved on by every unanswered wait
  std::vector<std::string> existsAsked;
  std::vector<std::string> readsAsked;
  std::size_t lastReadLimit = 0;
  int appends = 0;
  int replaces = 0;
  int overwrites = 0;
  bool refuseRename = false;                 // a viewer holds the log without delete sharing
  bool refuseOverwrite = false;              // a viewer maps the log
  std::function<void(const char*)> onWrite;  // at each call a log's write makes: size, append, rename, overwrite
  FakeWorkerRecord worker;                   // of every worker started
  bool failCreate = false;                   // a full disk: no new file can be made
  bool throwOnNextAppend = false;            // the next append runs out of memory, once
  bool throwOnNextRead = false;              // the next read runs out of memory, once
};

class FakeClock final : public Clock {
 public:
  LocalTime Now() override { return now; }
  std::uint64_t Milliseconds() override { return ms; }
  LocalTime now{2020, 6, 7, 17, 3, 28};
  std::uint64_t ms = 1000;
};

// The creation time the fakes give a process by default: what the launcher
// reports for a new id is what the table later reads for it.
inline std::uint64_t FakeCreationTime(std::int32_t id) { return 500000 + static_cast<std::uint64_t>(id); }

// The session the fakes' monitor runs in; every process is of it unless a
// test places it elsewhere.
inline constexpr SessionId kOwnSession = 1;

// A scripted process table. Handles are numbered from 1000 up; every open and
// close is counted so that a test can prove the walks leave nothing open.
class FakeProcessTable final : public ProcessTable {
 public:
  // Who started a process, as far as opening it goes: the monitor's own
  // account; the same account elevated (only the limited open succeeds); or
  // another account, whose processes refuse every open of a standard user.
  enum class Owner { Us, Elevated, OtherUser };

  struct Process {
    std::int32_t id;
    std::string path;
    bool openForRead = true;       // OpenProcess(0x410) succeeds
    bool modulesReadable = true;   // EnumProcessModules succeeds
    bool pathReadable = true;      // GetModuleFileNameExW succeeds
    bool openLimited = true;       // OpenProcess(0x1000) succeeds (as it does for an elevated one)
    bool imageReadable = true;     // QueryFullProcessImageNameW succeeds
    bool openForTerminate = true;  // OpenProcess(0x401) succeeds
    bool exitCodeReadable = true;
    bool terminable = true;
    bool closeFails = false;
    bool endsLater = false;     // accepts its termination but is still listed afterwards
    std::string commandLine{};  // empty: the path in quotes, as a launch by path gives it
    bool commandLineReadable = true;
    bool sixtyFourBit = false;  // read across by a narrowMonitor only through the system's answer
    std::uint64_t created = 0;  // set by Add; a reused id gets another one
    std::int32_t parentId = 0;
    SessionId session = kOwnSession;  // the snapshot names it whatever the owner
    Owner owner = Owner::Us;          // refuses opens on top of the flags above
    // Not 259: it has ended, yet opens still succeed while someone holds a handle to it.
    std::uint32_t exitCode = 259;
  };

  Process& Add(std::int32_t id, std::string path) {
    processes.push_back({id, std::move(path)});
    processes.back().created = FakeCreationTime(id);
    return processes.back();
  }
  // A process of another logon session: the same account's (opens as ours
  // do) or another account's (refuses every open).
  Process& AddInSession(std::int32_t id, std::string path, SessionId session, Owner owner = Owner::Us) {
    Process& p = Add(id, std::move(path));
    p.session = session;
    p.owner = owner;
    return p;
  }
  // Adds count processes with ids base, base+4, ... and paths C:\p\N.exe.
  void AddMany(int count, std::int32_t base = 100) {
    for (int i = 0; i < count; ++i) Add(base + 4 * i, "C:\\p\\" + std::to_string(i) + ".exe");
  }
  [[nodiscard]] bool Running(std::int32_t id) const {
    for (const auto& p : processes)
      if (p.id == id) return true;
    return false;
  }
  [[nodiscard]] int OpenHandles() const { return opens - closes; }
  // Forgets what was asked and ended so far; a long run reads them step by step.
  void ClearRecords() {
    listSizes.clear();
    snapshots = 0;
    openAccess.clear();
    terminated.clear();
  }

  bool ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) override {
    if (std::exchange(throwOnNextList, false)) throw std::bad_alloc();
    listSizes.push_back(bytes);
    if (failList) {
      *bytesReturned = 0;
      return false;
    }
    const std::size_t room = bytes / 4;
    std::size_t n = 0;
    for (; n < processes.size() && n < room; ++n) ids[n] = processes[n].id;
    *bytesReturned = static_cast<std::uint32_t>(n * 4);
    return true;
  }
  ProcessHandle Open(std::uint32_t access, bool inheritable, std::int32_t id) override {
    openAccess.push_back(access);
    if (inheritable) ++inheritableOpens;
    Process* p = Find(id);
    const bool granted = p != nullptr && p->owner != Owner::OtherUser &&
                         (p->owner == Owner::Us || access == kAccessQueryLimited);
    const bool ok = granted && (access == kAccessTerminate      ? p->openForTerminate
                                : access == kAccessQueryLimited ? p->openLimited
                                                                : p->openForRead);
    if (!ok) {
      lastError = 5;  // access denied
      return 0;
    }
    ++opens;
    const ProcessHandle h = nextHandle;
    nextHandle += 4;
    handles.push_back({h, id, access});
    return h;
  }
  bool ListModules(ProcessHandle h, ModuleHandle* modules, std::uint32_t bytes, std::uint32_t* bytesNeeded) override {
    moduleListBytes = bytes;
    Process* p = ByHandle(h);
    if (p == nullptr || !p->modulesReadable) {
      lastError = 299;  // partial copy: a process starting or exiting
      return false;
    }
    modules[0] = 0x400000;
    *bytesNeeded = sizeof(ModuleHandle);
    return true;
  }
  std::uint32_t ModulePath(ProcessHandle h, ModuleHandle, char* buffer, std::uint32_t capacity) override {
    pathCapacity = capacity;
    Process* p = ByHandle(h);
    if (p == nullptr || !p->pathReadable) return 0;
    // As the system does: a path longer than the buffer is cut, unterminated.
    const std::size_t n = std::min<std::size_t>(p->path.size(), capacity);
    p->path.copy(buffer, n);
    if (n < capacity) buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
  }
  std::uint32_t ImagePath(ProcessHandle h, char* buffer, std::uint32_t capacity) override {
    imagePathCapacity = capacity;
    Process* p = ByHandle(h);
    if (p == nullptr || !p->imageReadable) return 0;
    // The system refuses a path that does not fit with its NUL; the adapter
    // says so by answering capacity.
    if (p->path.size() >= capacity) return capacity;
    p->path.copy(buffer, p->path.size());
    buffer[p->path.size()] = '\0';
    return static_cast<std::uint32_t>(p->path.size());
  }
  bool CommandLine(ProcessHandle h, std::string* commandLine) override {
    ++commandLineReads;
    const auto it = OpenHandle(h);
    Process* p = it == handles.end() ? nullptr : Find(it->id);
    // Without the system's answer the line is read from the process's memory, which a limited handle cannot read.
    if (p == nullptr || !p->commandLineReadable || (!commandLineByQuery && it->access == kAccessQueryLimited))
      return false;
    // The 32-bit monitor on 64-bit Windows cannot read a 64-bit process's memory with the calls of its own word
    // size ("Running 32-bit Applications", learn.microsoft.com/windows/win32/winprog64): the adapter then says
    // it cannot.
    if (narrowMonitor && p->sixtyFourBit && it->access != kAccessQueryLimited) return false;
    *commandLine = p->commandLine.empty() ? "\"" + p->path + "\"" : p->commandLine;
    return true;
  }
  bool ExitCode(ProcessHandle h, std::uint32_t* exitCode) override {
    Process* p = ByHandle(h);
    if (p == nullptr || !p->exitCodeReadable) {
      lastError = 6;  // invalid handle
      return false;
    }
    *exitCode = p->exitCode;
    return true;
  }
  bool Terminate(ProcessHandle h, std::uint32_t exitCode) override {
    Process* p = ByHandle(h);
    if (p == nullptr || !p->terminable) {
      lastError = p == nullptr ? 6 : 5;
      return false;
    }
    terminated.push_back({p->id, exitCode});
    if (terminationTakesEffect && !p->endsLater) {
      const std::int32_t id = p->id;
      for (auto it = processes.begin(); it != processes.end(); ++it)
        if (it->id == id) {
          processes.erase(it);
          break;
        }
    }
    return true;
  }
  bool Close(ProcessHandle h) override {
    auto it = OpenHandle(h);
    if (it == handles.end()) {
      lastError = 6;
      return false;
    }
    Process* p = Find(it->id);
    ++closes;
    handles.erase(it);
    if (p != nullptr && p->closeFails) {
      lastError = 6;
      return false;
    }
    return true;
  }
  bool CreationTime(ProcessHandle h, std::uint64_t* created) override {
    Process* p = ByHandle(h);
    if (p == nullptr) return false;
    *created = p->created;
    return true;
  }
  bool ListFamilies(std::vector<ProcessEntry>* entries) override {
    ++snapshots;
    if (failFamilies) return false;
    // Resized rather than cleared, so that the names of a list taken again
    // reuse their storage.
    entries->resize(processes.size());
    for (std::size_t at = 0; at < processes.size(); ++at) {
      const Process& p = processes[at];
      const std::size_t slash = p.path.find_last_of('\\');
      ProcessEntry& entry = (*entries)[at];
      entry.id = p.id;
      entry.parentId = p.parentId;
      entry.exeName.assign(std::string_view(p.path).substr(slash == std::string::npos ? 0 : slash + 1));
      entry.session = p.session;
    }
    return true;
  }
  bool ListSessions(std::vector<ProcessSession>* sessions) override {
    if (std::exchange(throwOnNextList, false)) throw std::bad_alloc();
    ++snapshots;
    if (failFamilies) return false;
    sessions->clear();
    for (const Process& p : processes) sessions->push_back({p.id, p.session, p.created});
    return true;
  }
  // Asked of the process: refused as its limited open would be.
  bool SessionOf(std::int32_t id, SessionId* session) override {
    ++sessionQueries;
    Process* p = Find(id);
    if (p == nullptr || p->owner == Owner::OtherUser || !p->openLimited) return false;
    *session = p->session;
    return true;
  }
  SessionId CurrentSession() override { return ownSession; }
  std::int32_t CurrentProcessId() override { return ownId; }
  std::int32_t LastError() override { return lastError; }

  std::vector<Process> processes;
  std::vector<std::uint32_t> listSizes;
  std::vector<std::uint32_t> openAccess;
  std::vector<std::pair<std::int32_t, std::uint32_t>> terminated;  // id, exit code
  std::uint32_t moduleListBytes = 0;
  std::uint32_t pathCapacity = 0;
  std::uint32_t imagePathCapacity = 0;
  std::int32_t ownId = 2;              // the monitor's own process: listed only when a test adds it
  SessionId ownSession = kOwnSession;  // the monitor's own logon session
  bool throwOnNextList = false;        // the next listing runs out of memory, once
  int opens = 0;
  int closes = 0;
  int inheritableOpens = 0;
  bool failList = false;
  int snapshots = 0;
  int sessionQueries = 0;
  bool failFamilies = false;           // no snapshot can be taken
  bool terminationTakesEffect = true;  // false: the process is still listed afterwards
  // True as on Windows 8.1 and later, where a limited handle reads a command
  // line; false as on Windows 7 and Wine, where only a kAccessRead one does.
  bool commandLineByQuery = true;
  bool narrowMonitor = false;  // the 32-bit monitor on 64-bit Windows
  int commandLineReads = 0;
  std::int32_t lastError = 0;

 private:
  // A walk asks for the processes in their listed order: the last one found and the one after it are looked
  // at first, so that a walk over a crowded table stays linear.
  Process* Find(std::int32_t id) {
    for (const std::size_t at : {lastFound_, lastFound_ + 1})
      if (at < processes.size() && processes[at].id == id) {
        lastFound_ = at;
        return &processes[at];
      }
    for (std::size_t at = 0; at < processes.size(); ++at)
      if (processes[at].id == id) {
        lastFound_ = at;
        return &processes[at];
      }
    return nullptr;
  }
  // The handles open now, few at a time: a walk holds one or two.
  struct OpenRecord {
    ProcessHandle handle;
    std::int32_t id;
    std::uint32_t access;
  };
  std::vector<OpenRecord>::iterator OpenHandle(ProcessHandle h) {
    return std::find_if(handles.begin(), handles.end(), [h](const OpenRecord& open) { return open.handle == h; });
  }
  Process* ByHandle(ProcessHandle h) {
    auto it = OpenHandle(h);
    return it == handles.end() ? nullptr : Find(it->id);
  }
  std::vector<OpenRecord> handles;
  ProcessHandle nextHandle = 1000;
  std::size_t lastFound_ = 0;
};

class FakeLauncher final : public Launcher {
 public:
  explicit FakeLauncher(Journal& journal) : journal_(journal) {}
  std::uint32_t StartMinimised(const std::string& path, const std::string& folder, std::uint64_t* created) override {
    launches.push_back({path, folder});
    journal_.push_back("launch " + path);
    std::uint32_t id = nextId;
    if (choose) {
      id = choose(path);
    } else if (!results.empty()) {
      id = results.front();
      results.pop_front();
    } else {
      nextId += 4;
    }
    if (created != nullptr)
      *created = id == 0 ? 0 : createdOf ? createdOf(id) : FakeCreationTime(static_cast<std::int32_t>(id));
    if (id != 0 && onLaunch) onLaunch(path, id);
    return id;
  }
  std::vector<std::pair<std::string, std::string>> launches;
  std::deque<std::uint32_t> results;  // scripted results; afterwards ids from nextId
  std::uint32_t nextId = 4000;
  // When set, decides every result in place of results and nextId.
  std::function<std::uint32_t(const std::string& path)> choose;
  // When set, the creation time reported for a new id (else FakeCreationTime).
  std::function<std::uint64_t(std::uint32_t id)> createdOf;
  std::function<void(const std::string& path, std::uint32_t id)> onLaunch;

 private:
  Journal& journal_;
};

class FakeDialogs final : public Dialogs {
 public:
  struct Box {
    std::string text;
    std::string caption;
    std::uint32_t style;
  };
  explicit FakeDialogs(Journal& journal) : journal_(journal) {}
  void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    boxes.push_back({text, caption, style});
    journal_.push_back("box " + text);
    if (onBox) onBox(boxes.back());
  }
  std::vector<Box> boxes;
  std::function<void(const Box&)> onBox;

 private:
  Journal& journal_;
};

class FakeSystemInfo final : public SystemInfo {
 public:
  std::string ProgramFolder() override { return folder; }
  std::string ProgramBaseName() override { return baseName; }
  std::string FileVersion(const std::string& path) override {
    versionAsked = path;
    return version;
  }
  std::optional<std::uint32_t> SessionId() override { return session; }
  std::optional<bool> WindowStationVisible() override { return stationVisible; }
  std::string folder = "C:\\Monitor";
  std::string baseName = "PelluxMONITOR";
  std::string version = "1.0.0.0";
  std::string versionAsked;
  std::optional<std::uint32_t> session = 1;   // a user's logon
  std::optional<bool> stationVisible = true;  // WinSta0
};

class FakeLifetime final : public Lifetime {
 public:
  explicit FakeLifetime(Journal& journal) : journal_(journal) {}
  void EndNow(int code) override {
    ++ends;
    exitCode = code;
    journal_.push_back("end");
  }
  void LeaveSession() override {
    ++leaves;
    if (ends == 0) ++leavesBeforeEnd;
  }
  int leaves = 0;
  int leavesBeforeEnd = 0;
  int ends = 0;
  int exitCode = -1;

 private:
  Journal& journal_;
};

class FakeWindowControls final : public WindowControls {
 public:
  explicit FakeWindowControls(Journal& journal) : journal_(journal) {}
  bool Create() override {
    ++creates;
    journal_.push_back("window create");
    return createSucceeds;
  }
  void SetOuterHeightTwips(int twips) override { outerHeightTwips = twips; }
  void SetPictureSizeTwips(int w, int h) override {
    pictureWidthTwips = w;
    pictureHeightTwips = h;
  }
  void Show() override {
    shown = true;
    journal_.push_back("window show");
  }
  void Hide() override {
    shown = false;
    journal_.push_back("window hide");
  }
  std::uintptr_t HookWindow() override { return hookWindow; }
  Colour ButtonColour(ProgramButton b) override { return colours[b]; }
  void SetButtonColour(ProgramButton b, Colour c) override { colours[b] = c; }
  std::string PortText() override { return portText; }
  void SetPortText(const std::string& text) override {
    portText = text;
    ++portWrites;
  }
  bool PortVisible() override { return portVisible; }
  void FocusPort() override {
    ++portFocus;
    journal_.push_back("focus port");
  }
  void SetStripColours(Colour back, Colour fore) override {
    stripBack = back;
    stripFore = fore;
  }
  void SetStripText(const std::string& text) override { stripText = text; }
  void SetStripVisible(bool v) override {
    stripVisible = v;
    stripShows += v ? 1 : 0;
  }
  void SetPictureVisible(bool v) override { pictureVisible = v; }

  int creates = 0;
  bool createSucceeds = true;  // false: the desktop's heap is exhausted
  bool shown = false;
  int outerHeightTwips = 0;
  int pictureWidthTwips = 0;
  int pictureHeightTwips = 0;
  std::uintptr_t hookWindow = 0x7700;
  std::map<ProgramButton, Colour> colours{{ProgramButton::CBPellux, kLightGrey},
                                          {ProgramButton::CBLINTARO, kLightGrey}};
  std::string portText;
  int portWrites = 0;
  bool portVisible = true;
  int portFocus = 0;
  std::string stripText = "LBLMSG";
  Colour stripBack = kWhite;
  Colour stripFore = kBlack;
  bool stripVisible = false;
  int stripShows = 0;  // every message shown, the same one again too
  bool pictureVisible = true;

 private:
  Journal& journal_;
};

// What a screen reader would be told: each button's latest name and every
// message announced, in order.
class FakeAccessibility final : public Accessibility {
 public:
  void SetButtonName(ProgramButton b, const std::string& name) override {
    names[b] = name;
    ++nameChanges;
  }
  void AnnounceMessage(const std::string& text) override { announced.push_back(text); }
  std::map<ProgramButton, std::string> names;
  int nameChanges = 0;
  std::vector<std::string> announced;
};

class FakeTimers final : public Timers {
 public:
  bool Arm(TimerId t, std::uint32_t ms) override {
    if (refused.count(t) != 0) return false;
    interval[t] = ms;
    history.push_back({t, ms});
    return true;
  }
  void Disarm(TimerId t) override {
    interval[t] = 0;
    history.push_back({t, 0});
  }
  [[nodiscard]] std::uint32_t Interval(TimerId t) const {
    auto it = interval.find(t);
    return it == interval.end() ? 0 : it->second;
  }
  std::map<TimerId, std::uint32_t> interval;
  std::vector<std::pair<TimerId, std::uint32_t>> history;
  std::set<TimerId> refused;  // timers the system cannot make
};

class FakeTrayService final : public TrayService {
 public:
  struct Call {
    TrayCommand command;
    TrayIconData data;
  };
  explicit FakeTrayService(Journal& journal) : journal_(journal) {}
  std::uint32_t RecordSize() override { return recordSize; }
  std::uintptr_t Picture(int index) override {
    return index >= 0 && index < kTrayPictureCount ? 0x100 + static_cast<std::uintptr_t>(index) : 0;
  }
  bool Notify(TrayCommand command, const TrayIconData& data) override {
    calls.push_back({command, data});
    const char* names[] = {"add", "modify", "delete"};
    journal_.push_back(std::string("tray ") + names[static_cast<int>(command)]);
    if (command == TrayCommand::Modify) return modifySucceeds;
    if (command == TrayCommand::Add) return addSucceeds;
    return true;
  }
  [[nodiscard]] std::string Tip(std::size_t call) const { return std::string(calls.at(call).data.szTip, kTipChars); }
  std::uint32_t recordSize = 88;
  bool modifySucceeds = true;
  bool addSucceeds = true;
  std::vector<Call> calls;

 private:
  Journal& journal_;
};

class FakeSerialPort final : public SerialPort {
 public:
  void SetCommPort(std::int16_t port) override { calls.push_back("port " + std::to_string(port)); }
  void SetPortOpen(bool open) override { calls.push_back(open ? "open" : "close"); }
  std::vector<std::string> calls;
};

class FakeNumberLocale final : public NumberLocale {
 public:
  std::string DecimalSeparator() override { return separator; }
  std::string separator = ".";
};

class FakeSystemEventLog final : public SystemEventLog {
 public:
  struct Event {
    EventLevel level;
    EventId id;
    std::vector<std::string> strings;
    bool operator==(const Event& o) const { return level == o.level && id == o.id && strings == o.strings; }
  };
  void Write(EventLevel level, EventId id, const std::vector<std::string>& strings) override {
    if (std::exchange(throwOnNextWrite, false)) throw std::bad_alloc();
    events.push_back({level, id, strings});
    if (onWrite) onWrite();
  }
  [[nodiscard]] std::vector<EventId> Ids() const {
    std::vector<EventId> ids;
    for (const Event& e : events) ids.push_back(e.id);
    return ids;
  }
  std::vector<Event> events;
  bool throwOnNextWrite = false;  // the next event runs out of memory, once
  std::function<void()> onWrite;  // after each event is recorded
};

// Values by key and name; %NAME% expands from environment, an unknown
// name stays as it is.
class FakeSettingsStore final : public SettingsStore {
 public:
  void Set(SettingsKey key, const std::string& name, std::string text, StoredKind kind = StoredKind::Text) {
    values[{key, name}] = {kind, std::move(text)};
  }
  void SetNumber(SettingsKey key, const std::string& name, std::uint32_t number) {
    values[{key, name}] = {StoredKind::Number, {}, number};
  }
  std::optional<StoredValue> Read(SettingsKey key, const std::string& name) override {
    auto it = values.find({key, name});
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> Expand(const std::string& text) override {
    if (failExpand) return std::nullopt;
    std::string out = text;
    for (const auto& [name, value] : environment) {
      const std::string marker = "%" + name + "%";
      for (std::size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + value.size()))
        out.replace(at, marker.size(), value);
    }
    return out;
  }
  std::map<std::pair<SettingsKey, std::string>, StoredValue> values;
  std::map<std::string, std::string> environment{{"ProgramFiles(x86)", "C:\\Program Files (x86)"}};
  bool failExpand = false;
};

// The session's record of launched programs, in memory.
class FakeLaunchRecord final : public LaunchRecord {
 public:
  std::optional<std::string> Read() override {
    ++reads;
    return stored;
  }
  bool Write(const std::string& bytes) override {
    ++writes;
    if (failWrite) return false;
    stored = bytes;
    return true;
  }
  std::optional<std::string> stored;
  int reads = 0;
  int writes = 0;
  bool failWrite = false;
};

// The workstation's claim to launch. free: no other session's monitor holds
// it; a test clears it to stand for a monitor launching in another session.
class FakeWorkstationClaim final : public WorkstationClaim {
 public:
  bool Take() override {
    ++takes;
    if (free) held = true;
    return free;
  }
  bool TakenElsewhere() override { return !free; }
  void Release() override {
    if (held) ++releases;
    held = false;
  }
  bool free = true;
  bool held = false;
  int takes = 0;
  int releases = 0;
};

// The top-level windows of the processes, and whether each answers and shows;
// a process not listed has none.
class FakeWindowProbe final : public WindowProbe {
 public:
  void Look(std::int32_t processId, std::vector<TopLevelWindow>& out) override {
    ++looks;
    out.clear();
    if (const auto it = listed.find(processId); it != listed.end()) out = it->second;
    if (const auto it = windows.find(processId); it != windows.end())
      for (std::uint32_t i = 0; i < it->second.windows; ++i)
        out.push_back({Handle(processId, i), true, i < it->second.answering});
    for (TopLevelWindow& window : out) {
      if (ghosted.count(window.handle) != 0) window.visible = false;
      // Window ghosting, "a Windows Manager feature that lets the user
      // minimize, move, or close the main window of an application that is
      // not responding" (learn.microsoft.com/en-us/windows/win32/api/winuser/
      // nf-winuser-disableprocesswindowsghosting): once the window has not
      // answered for about five seconds the system hides it and shows a ghost
      // window of its own in its place, until it answers again.
      if (!ghosts) continue;
      if (window.answering) {
        ghosted.erase(window.handle);
      } else {
        ghosted.insert(window.handle);  // this look still saw it: hidden from the next on
      }
    }
  }
  static std::uint64_t Handle(std::int32_t processId, std::uint32_t i) {
    return (static_cast<std::uint64_t>(processId) << 8) + i + 1;
  }
  // A process's windows: how many it shows, and how many of them (the first ones) answer.
  struct Shown {
    std::uint32_t windows = 0;
    std::uint32_t answering = 0;
  };
  std::map<std::int32_t, Shown> windows;
  std::map<std::int32_t, std::vector<TopLevelWindow>> listed;  // windows given one by one, before those above
  bool ghosts = false;              // a window reported not answering is hidden behind a ghost until it answers
  std::set<std::uint64_t> ghosted;  // the windows hidden behind a ghost
  int looks = 0;
};

// Handles that tell a process's end, on the processes of a FakeProcessTable:
// a process has ended once the table no longer lists it under its creation
// time, or lists it with an exit code (held open by someone). As
// OpenProcess(SYNCHRONIZE) does on Windows ("Process Security and Access
// Rights": an elevated process of the same user grants SYNCHRONIZE with the
// limited query right, another user's grants neither), a watch is refused
// where the limited open is.
class FakeProcessEnds final : public ProcessEnds {
 public:
  explicit FakeProcessEnds(FakeProcessTable& table) : table_(table) {}
  bool Watch(std::int32_t id, std::uint64_t created) override {
    if (held.count(id) != 0) return true;
    const FakeProcessTable::Process* p = Listed(id);
    if (p == nullptr || p->owner == FakeProcessTable::Owner::OtherUser || !p->openLimited ||
        (created != 0 && p->created != created))
      return false;
    held[id] = p->created;
    ++watches;
    return true;
  }
  void Forget(std::int32_t id) override { held.erase(id); }
  bool Ended(std::int32_t id) override { return HasEnded(id); }
  [[nodiscard]] bool HasEnded(std::int32_t id) const {
    const auto it = held.find(id);
    if (it == held.end()) return false;
    const FakeProcessTable::Process* p = Listed(id);
    return p == nullptr || p->created != it->second || p->exitCode != 259;
  }
  // What the system would tell the window now: a watched process has ended.
  [[nodiscard]] bool AnyEnded() const {
    return std::any_of(held.begin(), held.end(), [this](const auto& h) { return HasEnded(h.first); });
  }
  std::map<std::int32_t, std::uint64_t> held;  // the handles held now, by id, with the creation time watched
  int watches = 0;

 private:
  const FakeProcessTable::Process* Listed(std::int32_t id) const {
    for (const auto& p : table_.processes)
      if (p.id == id) return &p;
    return nullptr;
  }
  FakeProcessTable& table_;
};

// Each session's mark of a supervising monitor. elsewhere: the sessions whose
// monitors hold theirs; held: this monitor's own.
class FakeSupervisionMark final : public SupervisionMark {
 public:
  bool Hold() override {
    if (!held) ++holds;
    held = true;
    elsewhere.insert(takenMeanwhile.begin(), takenMeanwhile.end());
    return true;
  }
  void Drop() override { held = false; }
  bool HeldIn(SessionId session) override { return elsewhere.count(session) != 0; }
  std::set<SessionId> elsewhere;
  // Their monitors take their marks between this monitor's look and its own
  // taking, as two monitors that start together may.
  std::set<SessionId> takenMeanwhile;
  bool held = false;
  int holds = 0;
};

// One line of the log as written: the stamp between its number signs, and
// the text without its quotes (carriage returns inside it kept).
struct LoggedLine {
  std::string stamp;
  std::string text;
};

inline std::vector<LoggedLine> ParseLog(const std::string& contents) {
  std::vector<LoggedLine> lines;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    const std::size_t open = contents.find(",\"", pos);
    const std::size_t end = contents.find("\"\r\n", pos);
    if (open == std::string::npos || end == std::string::npos || end < open) break;
    lines.push_back({contents.substr(pos, open - pos), contents.substr(open + 2, end - open - 2)});
    pos = end + 3;
  }
  return lines;
}

// The texts of the log, the banner left out.
inline std::vector<std::string> LogTextsAfterBanner(const std::string& contents) {
  std::vector<std::string> texts;
  for (const LoggedLine& line : ParseLog(contents))
    if (!(texts.empty() && line.text == kLogBanner)) texts.push_back(line.text);
  return texts;
}

// Every fake at once, wired into a Platform.
struct FakePlatform {
  Journal journal;
  FakeFileSystem files;
  FakeClock clock;
  FakeProcessTable processes;
  FakeLauncher launcher{journal};
  FakeDialogs dialogs{journal};
  FakeSystemInfo system;
  FakeLifetime lifetime{journal};
  FakeWindowControls controls{journal};
  FakeAccessibility accessibility;  // behind the window's controls, not a platform service of its own
  FakeTimers timers;
  FakeTrayService tray{journal};
  FakeSerialPort serial;
  FakeNumberLocale locale;
  FakeSystemEventLog events;
  FakeSettingsStore settings;
  FakeLaunchRecord launchRecord;
  FakeWorkstationClaim claim;
  FakeWindowProbe windows;

  FakeSupervisionMark mark;
  FakeProcessEnds ends{processes};

  [[nodiscard]] Platform platform() {
    Platform p{files, clock,  processes, launcher, dialogs,  system,       lifetime, controls, timers,
               tray,  serial, locale,    events,   settings, launchRecord, claim,    windows,  mark};
    p.ends = &ends;
    return p;
  }

  // Forgets what the monitor did through the services of the window, the files,
  // the events and the launcher, so that the next look sees only what follows.
  void ClearRecords() {
    processes.ClearRecords();
    launcher.launches.clear();
    timers.history.clear();
    journal.clear();
    tray.calls.clear();
    files.existsAsked.clear();
    files.readsAsked.clear();
    files.looksAsked.clear();
    dialogs.boxes.clear();
    events.events.clear();
    serial.calls.clear();
  }
};

}  // namespace pellux::fakes
