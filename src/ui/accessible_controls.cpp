#include "ui/accessible_controls.h"

#include <utility>

#include "ui/state_marks.h"

namespace pellux {

bool AccessibleControls::Create() {
  if (!window_.Create()) return false;
  // The buttons are grey until start-up colours them: their names say no state yet.
  for (ProgramButton button : {ProgramButton::CBLINTARO, ProgramButton::CBPellux}) {
    accessibility_.SetButtonName(button, AccessibleButtonName(button, window_.ButtonColour(button)));
  }
  return true;
}

void AccessibleControls::SetButtonColour(ProgramButton button, Colour colour) {
  const bool changed = window_.ButtonColour(button) != colour;
  window_.SetButtonColour(button, colour);
  // Every cycle sets the bridge's colour again; a reader hears only a change.
  if (changed) accessibility_.SetButtonName(button, AccessibleButtonName(button, colour));
}

void AccessibleControls::SetStripText(const std::string& text) {
  window_.SetStripText(text);
  unannounced_ = text;
}

void AccessibleControls::SetStripVisible(bool visible) {
  window_.SetStripVisible(visible);
  // Announced when it can be seen: a reader may skip what is hidden.
  if (visible && !unannounced_.empty()) accessibility_.AnnounceMessage(std::exchange(unannounced_, {}));
}

}  // namespace pellux
