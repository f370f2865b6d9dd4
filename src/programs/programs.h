#pragma once
#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/window_controls.h"

namespace pellux {

inline constexpr char kAppTitle[] = "PelluxMONITOR";
inline constexpr char kFarewellText[] = "Chauuu...\r:(";
// The start's log line, which the start's event carries as well.
inline constexpr char kStartedText[] = "PelluxMONITOR - STARTED!!!";

// Everything the monitor knows about one supervised program. Built once at
// start from the settings; fixed from then on.
struct SupervisedProgram {
  std::string exeName;           // used in texts
  std::string installPath;       // launched and tested for existence
  std::string installFolder;     // shown in texts; the launch's working folder
  std::string runningCheckName;  // matched at the end of an executable path
  std::string stopName;          // matched anywhere in an executable path
  ProgramButton button;
  std::string clickLogText;
  std::string missingBoxFirst;
  std::string missingBoxSecond;
  std::string missingLog;
  std::string notStarted;
  std::string started;
  std::string stillRunning;
  std::string stopped;
  std::string notResponding;    // its windows stopped answering and the cycle ended it
  std::string launchFailedLog;  // the launch result follows the trailing blank
  std::string launchedLog;
};

// The two supervised programs, in this order: the controller, then the bridge.
struct ProgramTable {
  SupervisedProgram controller;  // its launcher, seen running as its Java runtime
  SupervisedProgram bridge;
};

// The file name at the end of a path (after its last '\\' or '/').
[[nodiscard]] std::string FileNameOf(const std::string& path);

// The record of the program installed at installPath (absolute, ending in
// the executable's file name), recognised running by runningCheckName: its
// texts name the file and its folder, its stop name is the running-check
// name without ".exe".
[[nodiscard]] SupervisedProgram MakeProgram(ProgramButton button, const std::string& installPath,
                                            const std::string& runningCheckName);

// The built-in table: Pellux.exe seen as javaw.exe, and LINTARO.exe.
[[nodiscard]] const ProgramTable& BuiltInPrograms();

// The missing-file box: first line, CR, second line.
[[nodiscard]] std::string MissingFileBoxText(const SupervisedProgram& program);

// True when a file or directory exists at the program's install path.
[[nodiscard]] bool IsInstalled(FileSystem& files, const SupervisedProgram& program);

// Starts the program minimised without taking the focus; its id, or 0.
// created, when given, receives the new process's creation time.
[[nodiscard]] std::uint32_t Launch(Launcher& launcher, const SupervisedProgram& program,
                                   std::uint64_t* created = nullptr);

// The strip's text when the program recognised as runningName runs in
// another logon session of the workstation (session), where this monitor
// neither launches nor ends it.
[[nodiscard]] std::string OtherSessionText(const std::string& runningName, std::uint32_t session);
// The strip's text when a monitor of another session is launching the programs.
inline constexpr char kLaunchClaimedText[] = "Otra Sesion Esta Arrancando los Programas!!!";

// The log line of a launch that gave result (the new process's id, or 0).
[[nodiscard]] std::string LaunchLogLine(const SupervisedProgram& program, std::uint32_t result);

}  // namespace pellux
