#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/process_table.h"

namespace pellux::win32 {

// The creation time of the process behind handle, as ProcessTable gives it;
// false when it cannot be read.
[[nodiscard]] bool ProcessCreationTime(void* handle, std::uint64_t* created);

// The process table through kernel32's K32 process-status functions (the
// same calls that psapi.dll forwards to), one system call per method; the
// families and sessions through the system's process information.
class Win32ProcessTable final : public ProcessTable {
 public:
  bool ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) override;
  [[nodiscard]] ProcessHandle Open(std::uint32_t access, bool inheritable, std::int32_t id) override;
  [[nodiscard]] bool ListModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bytes,
                                 std::uint32_t* bytesNeeded) override;
  [[nodiscard]] std::uint32_t ModulePath(ProcessHandle process, ModuleHandle module, char* buffer,
                                         std::uint32_t capacity) override;
  [[nodiscard]] std::uint32_t ImagePath(ProcessHandle process, char* buffer, std::uint32_t capacity) override;
  [[nodiscard]] bool CommandLine(ProcessHandle process, std::string* commandLine) override;
  [[nodiscard]] bool ExitCode(ProcessHandle process, std::uint32_t* exitCode) override;
  [[nodiscard]] bool Terminate(ProcessHandle process, std::uint32_t exitCode) override;
  bool Close(ProcessHandle process) override;
  [[nodiscard]] bool CreationTime(ProcessHandle process, std::uint64_t* created) override;
  [[nodiscard]] bool ListFamilies(std::vector<ProcessEntry>* entries) override;
  [[nodiscard]] bool ListSessions(std::vector<ProcessSession>* sessions) override;
  [[nodiscard]] bool SessionOf(std::int32_t id, SessionId* session) override;
  [[nodiscard]] SessionId CurrentSession() override;
  [[nodiscard]] std::int32_t CurrentProcessId() override;
  [[nodiscard]] std::int32_t LastError() override;

 private:
  // Takes the system's process information into infoBuffer_; false when it
  // could not be had.
  bool TakeSnapshot();

  std::vector<unsigned char> infoBuffer_;
  std::optional<SessionId> ownSession_;
};

}  // namespace pellux::win32
