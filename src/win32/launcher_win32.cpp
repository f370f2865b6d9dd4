#include "win32/launcher_win32.h"

#include "win32/path_rules.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

std::uint32_t Win32Launcher::StartMinimised(const std::string& path,
                                            const std::string& workingFolder) {
  // CreateProcess may write into the command line, so it gets a copy of its own.
  std::string commandLine = QuotedCommandLine(path);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  UniqueProcessInformation started;
  // The programs get the system's default error mode, not our
  // SEM_FAILCRITICALERRORS, and none of our handles.
  if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                        started.put())) {
    return 0;
  }
  return started.ProcessId();
}

}  // namespace pellux::win32
