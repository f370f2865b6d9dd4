#pragma once
#include <functional>

#include "log/event_log.h"
#include "platform/dialogs.h"
#include "programs/programs.h"

namespace pellux {

// A supervised executable is missing: the missing-file box, the program's
// missing (log) line, the farewell box, then the immediate end.
void MissingExecutableExit(const SupervisedProgram& program, Dialogs& dialogs, EventLog& log,
                           const std::function<void()>& immediateEnd);

}  // namespace pellux
