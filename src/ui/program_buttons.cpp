#include "ui/program_buttons.h"

namespace pellux {

// Placeholder until the buttons act: a click does nothing.
void ProgramButtons::CBPellux_Click() {}
void ProgramButtons::CBLINTARO_Click() {}

}  // namespace pellux
