#include "win32/launcher_win32.h"

#include "win32/path_rules.h"
#include "win32/process_table_win32.h"
#include "win32/utf_conversion.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

std::uint32_t Win32Launcher::StartMinimised(const std::string& path, const std::string& workingFolder,
                                            std::uint64_t* created) {
  // Paths are UTF-8, as for the existence test, so a program in a folder
  // outside the ANSI code page starts where it was found. CreateProcess may
  // write into the command line, so it gets a copy of its own.
  const std::wstring program = Utf8ToWide(path);
  std::wstring commandLine = Utf8ToWide(QuotedCommandLine(path));
  const std::wstring folder = Utf8ToWide(workingFolder);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  UniqueProcessInformation started;
  // The programs get the system's default error mode, not our
  // SEM_FAILCRITICALERRORS, and none of our handles.
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, started.put())) {
    return 0;
  }
  // Read through the handle CreateProcess gave, which keeps even a program
  // that ends at once (a Java launcher) readable until it is closed.
  if (created != nullptr && !ProcessCreationTime(started.ProcessHandle(), created)) *created = 0;
  return started.ProcessId();
}

}  // namespace pellux::win32
