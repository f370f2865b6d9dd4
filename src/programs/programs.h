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

// Everything the monitor knows about one supervised program. Nothing here is
// configurable at run time.
struct SupervisedProgram {
  const char* exeName;           // used in texts
  const char* installPath;       // launched and tested for existence
  const char* installFolder;     // shown in texts; the launch's working folder
  const char* runningCheckName;  // matched at the end of an executable path
  const char* stopName;          // matched anywhere in an executable path
  ProgramButton button;
  const char* clickLogText;
  const char* missingBoxFirst;
  const char* missingBoxSecond;
  const char* missingLog;
  const char* notStarted;
  const char* started;
  const char* stillRunning;
  const char* stopped;
  const char* launchFailedLog;  // the launch result follows the trailing blank
  const char* launchedLog;
};

extern const SupervisedProgram kController;  // Pellux.exe, seen as javaw.exe
extern const SupervisedProgram kBridge;      // LINTARO.exe

// The missing-file box: first line, CR, second line.
[[nodiscard]] std::string MissingFileBoxText(const SupervisedProgram& program);

// True when a file or directory exists at the program's install path.
[[nodiscard]] bool IsInstalled(FileSystem& files, const SupervisedProgram& program);

// Starts the program minimised without taking the focus; its id, or 0.
[[nodiscard]] std::uint32_t Launch(Launcher& launcher, const SupervisedProgram& program);

// The log line of a launch that gave result (the new process's id, or 0).
[[nodiscard]] std::string LaunchLogLine(const SupervisedProgram& program, std::uint32_t result);

}  // namespace pellux
