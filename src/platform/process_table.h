#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pellux {

using ProcessHandle = std::uintptr_t;  // 0 = no handle
using ModuleHandle = std::uintptr_t;

inline constexpr std::uint32_t kAccessRead = 0x410;       // query information + read memory
inline constexpr std::uint32_t kAccessTerminate = 0x401;  // query information + terminate
// Granted to a process of a higher integrity level of the same user (an
// elevated one) where kAccessRead is not: enough to read the executable's
// path, nothing more. A process another user created grants a standard
// user's monitor nothing at all, this included.
inline constexpr std::uint32_t kAccessQueryLimited = 0x1000;

// A logon session's number (0 is the services' session).
using SessionId = std::uint32_t;

// One process as a snapshot of the table lists it.
struct ProcessEntry {
  std::int32_t id = 0;
  std::int32_t parentId = 0;  // the process that started it; it may have ended since
  std::string exeName;        // its executable's file name, UTF-8
  SessionId session = 0;      // the logon session it runs in
};

// One process as the walk's snapshot lists it. Its id alone may name another
// process by the time it is opened (ids are reused); the id with the creation
// time names one process for its whole life.
struct ProcessSession {
  std::int32_t id = 0;
  SessionId session = 0;
  std::uint64_t created = 0;  // 100-ns units, as CreationTime gives them; 0: not given
};

// The operating system's process table and process control, one method per
// system call. Abstract so that the walks can be driven by a fake in tests.
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;

  // Fills ids (bytes / 4 entries) with the identifiers of the running
  // processes in the system's order and stores the number of bytes written in
  // *bytesReturned; a list that is too small is filled completely.
  virtual bool ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) = 0;

  // A handle with the given access, or 0 when the process cannot be opened.
  [[nodiscard]] virtual ProcessHandle Open(std::uint32_t access, bool inheritable, std::int32_t id) = 0;

  // Lists the process's modules (the executable's own first) into modules,
  // which holds bytes bytes. False on failure.
  [[nodiscard]] virtual bool ListModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bytes,
                                         std::uint32_t* bytesNeeded) = 0;

  // Copies the module's full path (UTF-8) into buffer, which holds capacity
  // bytes; returns the number of bytes copied, 0 on failure. A path that does
  // not fit (in capacity characters, or its UTF-8 in capacity bytes) is cut
  // and returns capacity.
  [[nodiscard]] virtual std::uint32_t ModulePath(ProcessHandle process, ModuleHandle module, char* buffer,
                                                 std::uint32_t capacity) = 0;

  // Copies the full path of the process's executable (UTF-8) into buffer,
  // which holds capacity bytes, through a kAccessQueryLimited handle; returns
  // the number of bytes copied, capacity when the path does not fit with its
  // terminating NUL, 0 on any other failure.
  [[nodiscard]] virtual std::uint32_t ImagePath(ProcessHandle process, char* buffer, std::uint32_t capacity) = 0;

  // The command line the process was started with (UTF-8) into
  // *commandLine. Asked of the system where it answers through a
  // kAccessQueryLimited handle (Windows 8.1 and later), else read from the
  // process's own memory, which needs a kAccessRead handle (Windows 7, Wine).
  // False when it cannot be had through this handle, and always from a table
  // that keeps no command lines.
  [[nodiscard]] virtual bool CommandLine(ProcessHandle /*process*/, std::string* /*commandLine*/) { return false; }

  // Reads the exit code (259 while the process runs). False on failure.
  [[nodiscard]] virtual bool ExitCode(ProcessHandle process, std::uint32_t* exitCode) = 0;

  // Asks the system to end the process with exitCode; does not wait.
  [[nodiscard]] virtual bool Terminate(ProcessHandle process, std::uint32_t exitCode) = 0;

  // Releases the handle. False on failure.
  virtual bool Close(ProcessHandle process) = 0;

  // The process's creation time in 100-ns units since a fixed moment, read
  // through a kAccessQueryLimited handle. False on failure.
  [[nodiscard]] virtual bool CreationTime(ProcessHandle process, std::uint64_t* created) = 0;

  // Every running process with its parent's id, its file name and its
  // session, from one snapshot of the table. The session is known without
  // opening the process, so also for one that refuses every open (another
  // user's). Replaces what entries held. False when no snapshot could be
  // taken.
  [[nodiscard]] virtual bool ListFamilies(std::vector<ProcessEntry>* entries) = 0;

  // The id, session and creation time of every running process, in the
  // system's order, from one snapshot, like ListFamilies but without the names
  // a walk has no use for. Replaces what sessions held. False when no snapshot
  // could be taken.
  [[nodiscard]] virtual bool ListSessions(std::vector<ProcessSession>* sessions) = 0;

  // The logon session of the process with this id, asked of the process
  // itself: false when it cannot be opened (another user's refuses).
  [[nodiscard]] virtual bool SessionOf(std::int32_t id, SessionId* session) = 0;

  // The logon session the monitor itself runs in.
  [[nodiscard]] virtual SessionId CurrentSession() = 0;

  // The identifier of the monitor's own process.
  [[nodiscard]] virtual std::int32_t CurrentProcessId() = 0;

  // The system's error code of the most recent failed call.
  [[nodiscard]] virtual std::int32_t LastError() = 0;
};

}  // namespace pellux
