#pragma once
#include <cstdint>
#include <string>

#include "common/colours.h"

namespace pellux {

enum class ProgramButton { CBPellux, CBLINTARO };

// The main window's elements as the behaviour sees them. State lives in the
// elements themselves: a program's believed state is its button's colour, the
// port number is the port field's text, the message is the strip's text and
// colours. The real one is the Win32 window; tests use a recording fake.
class WindowControls {
 public:
  virtual ~WindowControls() = default;

  // Creates the main window with every element, hidden. Called once. False
  // when the window could not be made (the desktop's heap exhausted).
  [[nodiscard]] virtual bool Create() = 0;
  // Sets the window's outer height, frame included, in twips.
  virtual void SetOuterHeightTwips(int twips) = 0;
  // Sets the picture element's size in twips.
  virtual void SetPictureSizeTwips(int widthTwips, int heightTwips) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;

  // The window that receives the tray icon's messages.
  [[nodiscard]] virtual std::uintptr_t HookWindow() = 0;

  [[nodiscard]] virtual Colour ButtonColour(ProgramButton button) = 0;
  virtual void SetButtonColour(ProgramButton button, Colour colour) = 0;

  [[nodiscard]] virtual std::string PortText() = 0;
  virtual void SetPortText(const std::string& text) = 0;
  [[nodiscard]] virtual bool PortVisible() = 0;
  virtual void FocusPort() = 0;

  // The message strip: its text (lines joined by CR) and colours, and
  // whether the strip or the picture is shown.
  virtual void SetStripColours(Colour back, Colour fore) = 0;
  virtual void SetStripText(const std::string& text) = 0;
  virtual void SetStripVisible(bool visible) = 0;
  virtual void SetPictureVisible(bool visible) = 0;
};

}  // namespace pellux
