#include "ui/state_marks.h"

#include <algorithm>
#include <cmath>

#include "ui/layout.h"

namespace pellux {
namespace {

// Pixels at 96 dots per inch, scaled to dpi and rounded.
int Scaled(int pixelsAt96, int dpi) { return (pixelsAt96 * dpi + 48) / 96; }

// The mark's strokes at 96 dpi: the dark core is 8 px thick, about the height
// of a capital letter of the caption, and its light edge 2 px on each side.
constexpr int kCoreHalfAt96 = 4;
constexpr int kEdgeAt96 = 2;

struct Vec {
  double x;
  double y;
};

class ShapeBuilder {
 public:
  ShapeBuilder(const PixelRect& area, std::vector<std::vector<PixelPoint>>& out) : area_(area), out_(out) {}

  // A polygon in the area's own coordinates, kept inside the area.
  void Add(const std::vector<Vec>& points) {
    std::vector<PixelPoint> polygon;
    for (const Vec& p : points) {
      const int x = area_.left + static_cast<int>(std::lround(p.x));
      const int y = area_.top + static_cast<int>(std::lround(p.y));
      polygon.push_back({std::clamp(x, area_.left, area_.right), std::clamp(y, area_.top, area_.bottom)});
    }
    out_.push_back(std::move(polygon));
  }

  // A straight stroke from a to b, half thick on each side, lengthened by
  // extendA and extendB beyond its ends.
  void Stroke(Vec a, Vec b, double half, double extendA, double extendB) {
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const Vec d{(b.x - a.x) / length, (b.y - a.y) / length};
    const Vec n{-d.y * half, d.x * half};
    a = {a.x - d.x * extendA, a.y - d.y * extendA};
    b = {b.x + d.x * extendB, b.y + d.y * extendB};
    Add({{a.x + n.x, a.y + n.y}, {b.x + n.x, b.y + n.y}, {b.x - n.x, b.y - n.y}, {a.x - n.x, a.y - n.y}});
  }

 private:
  PixelRect area_;
  std::vector<std::vector<PixelPoint>>& out_;
};

// The band of points no further than half from the square's diagonal, from
// its top-left to its bottom-right corner, cut off by the square's sides.
std::vector<Vec> DiagonalBand(double side, double half) {
  const double k = std::min(side, half * std::sqrt(2.0));
  return {{0, 0}, {k, 0}, {side, side - k}, {side, side}, {side - k, side}, {0, k}};
}

std::vector<Vec> HorizontalBand(double side, double half) {
  const double middle = side / 2;
  return {{0, middle - half}, {side, middle - half}, {side, middle + half}, {0, middle + half}};
}

// A check across the picture, clear of its sides with its edge: down to the
// elbow, then up to the upper right.
void Check(ShapeBuilder& shape, double side, double half, double extendEnds) {
  const Vec start{side * 0.18, side * 0.50};
  const Vec elbow{side * 0.42, side * 0.70};
  const Vec end{side * 0.80, side * 0.26};
  // Each stroke runs on past the elbow by its half thickness, so that the two
  // meet without a notch on the outside of the bend.
  shape.Stroke(start, elbow, half, extendEnds, half);
  shape.Stroke(elbow, end, half, half, extendEnds);
}

}  // namespace

StateMark MarkFor(Colour buttonColour) {
  switch (buttonColour) {
    case kGreen:
      return StateMark::Running;
    case kRed:
      return StateMark::Stopped;
    case kAmber:
      return StateMark::OtherSession;
    default:
      return StateMark::None;
  }
}

std::string AccessibleButtonName(ProgramButton button, Colour buttonColour) {
  std::string caption = button == ProgramButton::CBPellux ? kCBPelluxCaption : kCBLINTAROCaption;
  switch (MarkFor(buttonColour)) {
    case StateMark::Running:
      return caption + " - Rodando";
    case StateMark::Stopped:
      return caption + " - Detenido";
    case StateMark::OtherSession:
      return caption + " - En Otra Sesion";
    case StateMark::None:
      break;
  }
  return caption;
}

ButtonFaceLayout LayoutButtonFace(int width, int height, int pictureSize, int dpi) {
  ButtonFaceLayout face{};
  face.band = Scaled(9, dpi);
  face.ringWidth = std::max(2, Scaled(3, dpi));
  face.ring = {face.band, face.band, width - face.band, height - face.band};
  // The picture sits just inside the ring, centred; the caption below it.
  const int pictureLeft = (width - pictureSize) / 2;
  const int pictureTop = face.band + face.ringWidth;
  face.picture = {pictureLeft, pictureTop, pictureLeft + pictureSize, pictureTop + pictureSize};
  face.caption = {face.band + face.ringWidth, face.picture.bottom + Scaled(2, dpi), width - face.band - face.ringWidth,
                  height - face.band - face.ringWidth};
  face.mark = face.picture;
  return face;
}

MarkShape StateMarkShape(StateMark mark, const PixelRect& area, int dpi) {
  MarkShape shape;
  const double side = std::min(area.right - area.left, area.bottom - area.top);
  const double core = Scaled(kCoreHalfAt96, dpi);
  const double edge = core + Scaled(kEdgeAt96, dpi);
  ShapeBuilder edges(area, shape.edge);
  ShapeBuilder cores(area, shape.core);
  switch (mark) {
    case StateMark::Stopped:
      edges.Add(DiagonalBand(side, edge));
      cores.Add(DiagonalBand(side, core));
      break;
    case StateMark::OtherSession:
      edges.Add(HorizontalBand(side, edge));
      cores.Add(HorizontalBand(side, core));
      break;
    case StateMark::Running:
      Check(edges, side, edge, edge - core);
      Check(cores, side, core, 0);
      break;
    case StateMark::None:
      break;
  }
  return shape;
}

ButtonInks InksFor(Colour buttonColour, bool highContrast, const SystemColours& system) {
  if (highContrast) {
    return {system.buttonFace, system.buttonText, system.buttonText, system.buttonFace, system.buttonText};
  }
  return {buttonColour, system.buttonText, kBlack, kWhite, kBlack};
}

StripInks StripInksFor(Colour back, Colour fore, bool highContrast, const SystemColours& system) {
  if (highContrast) return {system.window, system.windowText};
  return {back, fore};
}

}  // namespace pellux
