#include "app/missing_program.h"

namespace pellux {

void MissingExecutableExit(const SupervisedProgram& program, Dialogs& dialogs, EventLog& log,
                           const std::function<void()>& immediateEnd) {
  dialogs.ShowBox(MissingFileBoxText(program), kAppTitle, kBoxPlain);
  log.WriteLogLine(program.missingLog);
  dialogs.ShowBox(kFarewellText, kAppTitle, kBoxPlain);
  immediateEnd();
}

}  // namespace pellux
