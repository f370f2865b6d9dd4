#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/process_table.h"

namespace pellux::fakes {

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
    if (failFamilies || failSessions) return false;
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
  bool failSessions = false;           // the sessions' list alone fails, the families' answers
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

}  // namespace pellux::fakes
