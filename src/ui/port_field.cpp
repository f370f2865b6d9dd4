#include "ui/port_field.h"

namespace pellux {

// Placeholder until the port field is validated.
PortValidation ValidatePortText(const std::string& text, const std::string&) {
  return {text.empty() ? PortVerdict::Empty : PortVerdict::Rewritten, text};
}

bool TBPort_LostFocus(WindowControls&, Dialogs&, NumberLocale&) { return true; }

}  // namespace pellux
