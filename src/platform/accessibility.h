#pragma once
#include <string>

#include "platform/window_controls.h"

namespace pellux {

// What a screen reader hears of the main window beyond its texts. The real
// one annotates the window's controls for the system's accessibility
// services; tests use a recording fake.
class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // Gives a program button the name a screen reader reads for it in place
  // of its caption, and tells screen readers that the name changed. A
  // failure leaves the caption as the name.
  virtual void SetButtonName(ProgramButton button, const std::string& name) = 0;
  // Has a screen reader read the message strip's text once, when it is done
  // with what it is reading (a polite live region).
  virtual void AnnounceMessage(const std::string& text) = 0;
};

}  // namespace pellux
