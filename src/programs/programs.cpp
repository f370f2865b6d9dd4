#include "programs/programs.h"

namespace pellux {

const SupervisedProgram kController = {
    "Pellux.exe",
    "C:\\Program Files\\Pellux\\Pellux.exe",
    "C:\\Program Files\\Pellux",
    "javaw.exe",
    "javaw",
    ProgramButton::CBPellux,
    "CBPellux_Click",
    "Falta el Archivo 'Pellux.exe'",
    "En la Carpeta 'C:\\Program Files\\Pellux'",
    "Falta el Archivo 'Pellux.exe' en la Carpeta 'C:\\Program Files\\Pellux'",
    "El Programa 'Pellux.exe' NO Arranco!!!",
    "El Programa 'Pellux.exe' Arranco con Exito!!!",
    "El Programa 'Pellux.exe' AUN Esta Rodando!!!",
    "El Programa 'Pellux.exe' SE DETUVO CON EXITO!!!",
    "Pellux.exe NO ARRANCO - RetVal: ",
    "ARRANCA Pellux.exe - RetVal: ",
};

const SupervisedProgram kBridge = {
    "LINTARO.exe",
    "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe",
    "C:\\Program Files\\Ferrowin\\LINTARO",
    "Lintaro.exe",
    "Lintaro",
    ProgramButton::CBLINTARO,
    "CBLINTARO_Click",
    "Falta el Archivo 'LINTARO.exe'",
    "En la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'",
    "Falta el Archivo 'LINTARO.exe' en la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'",
    "El Programa 'LINTARO.exe' NO Arranco!!!",
    "El Programa 'LINTARO.exe' Arranco con Exito!!!",
    "El Programa 'LINTARO.exe' AUN Esta Rodando!!!",
    "El Programa 'LINTARO.exe' SE DETUVO CON EXITO!!!",
    "LINTARO.exe NO ARRANCO - RetVal: ",
    "ARRANCA LINTARO.exe - RetVal: ",
};

std::string MissingFileBoxText(const SupervisedProgram& program) {
  return std::string(program.missingBoxFirst) + "\r" + program.missingBoxSecond;
}

bool IsInstalled(FileSystem& files, const SupervisedProgram& program) {
  return files.Exists(program.installPath);
}

std::uint32_t Launch(Launcher& launcher, const SupervisedProgram& program) {
  return launcher.StartMinimised(program.installPath, program.installFolder);
}

std::string LaunchLogLine(const SupervisedProgram& program, std::uint32_t result) {
  return (result == 0 ? program.launchFailedLog : program.launchedLog) + std::to_string(result);
}

}  // namespace pellux
