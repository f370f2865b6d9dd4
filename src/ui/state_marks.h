#pragma once
#include <string>
#include <vector>

#include "common/colours.h"
#include "platform/window_controls.h"

namespace pellux {

// What a program button shows over its picture, besides its face colour, so
// that its state reads without colour: from across the cell, with a red-green
// colour vision deficiency, and in High Contrast, where the faces lose their
// colours. Decided from the button's back colour, which stays the only record
// of the state.
enum class StateMark {
  None,          // not yet known (grey before start-up colours the button)
  Running,       // a bold check
  Stopped,       // a bold diagonal bar across the picture
  OtherSession,  // a bold horizontal bar: it runs, but in another session
};

[[nodiscard]] StateMark MarkFor(Colour buttonColour);

// The accessible name of a program button: its caption and its state, as a
// screen reader reads it ("Pellux - Rodando"); the caption alone while the
// state is not known. The caption on the face stays as it is.
[[nodiscard]] std::string AccessibleButtonName(ProgramButton button, Colour buttonColour);

struct PixelPoint {
  int x;
  int y;
};

struct PixelRect {
  int left;
  int top;
  int right;
  int bottom;
};

// Where a program button's parts lie on its face, in pixels from its top-left
// corner. A band of pure face colour along every edge stays clear of all of
// them, so that the button's colour can be read there.
struct ButtonFaceLayout {
  int band;
  PixelRect picture;
  PixelRect caption;
  PixelRect ring;  // the focus ring's outer edge; it is ringWidth wide inwards
  int ringWidth;
  PixelRect mark;  // the picture's square, where the mark is drawn
};

[[nodiscard]] ButtonFaceLayout LayoutButtonFace(int width, int height, int pictureSize, int dpi);

// A mark is drawn as polygons: those of the light edge first, then those of
// the dark core over them, so that the core reads on the picture, on either
// face and in either High Contrast scheme.
struct MarkShape {
  std::vector<std::vector<PixelPoint>> edge;
  std::vector<std::vector<PixelPoint>> core;
};

[[nodiscard]] MarkShape StateMarkShape(StateMark mark, const PixelRect& area, int dpi);

// The colours a program button is drawn with. Normally the face is the state's
// colour and the marks and the focus ring are black and white, which stand
// out at least 3:1 from green, red, amber and grey under every kind of colour
// vision. In High Contrast the system's button colours are used throughout
// and the mark alone tells the state.
struct ButtonInks {
  Colour face;
  Colour text;
  Colour markCore;
  Colour markEdge;
  Colour ring;
};

// The system's colours that High Contrast asks for.
struct SystemColours {
  Colour buttonFace;
  Colour buttonText;
  Colour window;
  Colour windowText;
};

[[nodiscard]] ButtonInks InksFor(Colour buttonColour, bool highContrast, const SystemColours& system);

// The message strip's back and text colours: its own, or in High Contrast
// the system's window colours.
struct StripInks {
  Colour back;
  Colour fore;
};

[[nodiscard]] StripInks StripInksFor(Colour back, Colour fore, bool highContrast, const SystemColours& system);

}  // namespace pellux
