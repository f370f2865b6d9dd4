#include "programs/programs.h"

#include <cctype>

namespace pellux {
namespace {

bool EndsWithExe(const std::string& name) {
  if (name.size() < 4) return false;
  const std::string tail = name.substr(name.size() - 4);
  return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 'e' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'x' &&
         std::tolower(static_cast<unsigned char>(tail[3])) == 'e';
}

// Windows takes '/' for a separator as well as '\\'.
std::size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

// A program at the root of a drive or share starts in the root itself:
// "C:" alone would be the drive's current folder, not its root.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return {};
  std::string folder = path.substr(0, slash);
  const bool driveRoot = folder.size() == 2 && folder[1] == ':';
  const bool shareRoot = folder.rfind("\\\\", 0) == 0 && folder.find('\\', 2) != std::string::npos &&
                         folder.find('\\', folder.find('\\', 2) + 1) == std::string::npos;
  if (driveRoot || shareRoot) folder += '\\';
  return folder;
}

}  // namespace

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

SupervisedProgram MakeProgram(ProgramButton button, const std::string& installPath,
                              const std::string& runningCheckName) {
  const std::string exe = FileNameOf(installPath);
  const std::string folder = FolderOf(installPath);
  SupervisedProgram p;
  p.exeName = exe;
  p.installPath = installPath;
  p.installFolder = folder;
  p.runningCheckName = runningCheckName;
  p.stopName = EndsWithExe(runningCheckName) ? runningCheckName.substr(0, runningCheckName.size() - 4)
                                             : runningCheckName;
  p.button = button;
  p.clickLogText = button == ProgramButton::CBPellux ? "CBPellux_Click" : "CBLINTARO_Click";
  p.missingBoxFirst = "Falta el Archivo '" + exe + "'";
  p.missingBoxSecond = "En la Carpeta '" + folder + "'";
  p.missingLog = "Falta el Archivo '" + exe + "' en la Carpeta '" + folder + "'";
  p.notStarted = "El Programa '" + exe + "' NO Arranco!!!";
  p.started = "El Programa '" + exe + "' Arranco con Exito!!!";
  p.stillRunning = "El Programa '" + exe + "' AUN Esta Rodando!!!";
  p.stopped = "El Programa '" + exe + "' SE DETUVO CON EXITO!!!";
  p.notResponding = "El Programa '" + exe + "' NO Responde!!!";
  p.launchFailedLog = exe + " NO ARRANCO - RetVal: ";
  p.launchedLog = "ARRANCA " + exe + " - RetVal: ";
  return p;
}

const ProgramTable& BuiltInPrograms() {
  static const ProgramTable table{
      MakeProgram(ProgramButton::CBPellux, "C:\\Program Files\\Pellux\\Pellux.exe", "javaw.exe"),
      MakeProgram(ProgramButton::CBLINTARO, "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro.exe")};
  return table;
}

std::string MissingFileBoxText(const SupervisedProgram& program) {
  return program.missingBoxFirst + "\r" + program.missingBoxSecond;
}

bool IsInstalled(FileSystem& files, const SupervisedProgram& program) { return files.Exists(program.installPath); }

std::uint32_t Launch(Launcher& launcher, const SupervisedProgram& program, std::uint64_t* created) {
  return launcher.StartMinimised(program.installPath, program.installFolder, created);
}

std::string OtherSessionText(const std::string& runningName, std::uint32_t session) {
  return "El Programa '" + runningName + "' Esta Rodando en la Sesion " + std::to_string(session) + "!!!";
}

std::string LaunchLogLine(const SupervisedProgram& program, std::uint32_t result) {
  return (result == 0 ? program.launchFailedLog : program.launchedLog) + std::to_string(result);
}

}  // namespace pellux
