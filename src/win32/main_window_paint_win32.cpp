#include "win32/main_window_win32.h"

#include <vector>

#include "ui/layout.h"
#include "ui/state_marks.h"
#include "win32/control_ids.h"
#include "win32/display_text.h"
#include "win32/utf_conversion.h"

namespace pellux::win32 {
namespace {

// Our colours keep red in the low byte as COLORREF does; the top byte must be
// 0, or GDI would read the value as a palette index.
COLORREF AsColorRef(Colour colour) { return static_cast<COLORREF>(colour & 0xFFFFFF); }

void FillSolid(HDC dc, const RECT& area, Colour colour) {
  UniqueBrush brush(::CreateSolidBrush(AsColorRef(colour)));
  if (brush) (void)::FillRect(dc, &area, brush.get());  // nothing to do when it fails
}

COLORREF SystemColour(int index) { return ::GetSysColor(index); }

void FillPolygons(HDC dc, const std::vector<std::vector<PixelPoint>>& polygons, Colour colour) {
  UniqueBrush brush(::CreateSolidBrush(AsColorRef(colour)));
  if (!brush) return;
  const SelectedObject fill(dc, brush.get());
  const SelectedObject noOutline(dc, ::GetStockObject(NULL_PEN));
  for (const std::vector<PixelPoint>& polygon : polygons) {
    std::vector<POINT> points;
    for (const PixelPoint& p : polygon) points.push_back(POINT{p.x, p.y});
    (void)::Polygon(dc, points.data(), static_cast<int>(points.size()));  // nothing to do when it fails
  }
}

// A solid ring, width pixels wide inside outer.
void FrameSolid(HDC dc, const RECT& outer, int width, Colour colour) {
  const RECT sides[] = {{outer.left, outer.top, outer.right, outer.top + width},
                        {outer.left, outer.bottom - width, outer.right, outer.bottom},
                        {outer.left, outer.top, outer.left + width, outer.bottom},
                        {outer.right - width, outer.top, outer.right, outer.bottom}};
  for (const RECT& side : sides) FillSolid(dc, side, colour);
}

RECT AsRect(const PixelRect& r, int dx, int dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

void DrawCentredText(HDC dc, const std::string& text, RECT area, UINT format) {
  // DT_NOPREFIX: an ampersand in a message is shown, not taken as a mnemonic.
  const std::wstring wide = Utf8ToWide(text);
  (void)::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &area, format | DT_CENTER | DT_NOPREFIX);
}

}  // namespace

void Win32MainWindow::ReadContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof(contrast);
  // Not answered (a system without it): drawn as usual.
  highContrast_ = ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) != FALSE &&
                  (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
  systemColours_ = SystemColours{SystemColour(COLOR_BTNFACE), SystemColour(COLOR_BTNTEXT), SystemColour(COLOR_WINDOW),
                                 SystemColour(COLOR_WINDOWTEXT)};
}

LRESULT Win32MainWindow::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != label_) {
    return ::DefWindowProcW(window_, WM_CTLCOLORSTATIC, wParam, lParam);
  }
  HDC dc = reinterpret_cast<HDC>(wParam);
  if (highContrast_) {
    (void)::SetTextColor(dc, SystemColour(COLOR_WINDOWTEXT));
    (void)::SetBkColor(dc, SystemColour(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
  }
  (void)::SetTextColor(dc, AsColorRef(kBlack));
  (void)::SetBkColor(dc, AsColorRef(kWhite));
  return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

LRESULT Win32MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  switch (item.CtlID) {
    case kIdCBPellux:
      DrawProgramButton(item, ProgramButton::CBPellux);
      return TRUE;
    case kIdCBLINTARO:
      DrawProgramButton(item, ProgramButton::CBLINTARO);
      return TRUE;
    case kIdLBLMSG:
      DrawStrip(item);
      return TRUE;
    case kIdImage1:
      DrawPicture(item);
      return TRUE;
    default:
      return FALSE;
  }
}

void Win32MainWindow::DrawProgramButton(const DRAWITEMSTRUCT& item, ProgramButton button) const {
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  const Colour colour = buttonColours_[ButtonIndex(button)];
  const ButtonInks inks = InksFor(colour, highContrast_, systemColours_);
  FillSolid(dc, face, inks.face);
  (void)::DrawEdge(dc, &face, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

  // Picture, mark, caption and focus ring stay clear of a band of pure face
  // colour along every edge, where the button's colour can be sampled.
  const int shift = pushed ? 1 : 0;
  const ButtonFaceLayout layout = LayoutButtonFace(face.right - face.left, face.bottom - face.top, buttonPictureSize_,
                                                   dpiX_);
  const int left = face.left + shift;
  const int top = face.top + shift;
  HICON picture = button == ProgramButton::CBPellux ? pelluxPicture_.get() : lintaroPicture_.get();
  if (picture != nullptr) {
    (void)::DrawIconEx(dc, left + layout.picture.left, top + layout.picture.top, picture, buttonPictureSize_,
                       buttonPictureSize_, 0, nullptr, DI_NORMAL);
  }
  // The state's mark over the picture: light edge first, dark core over it.
  const RECT markArea = AsRect(layout.mark, left, top);
  const MarkShape mark = StateMarkShape(MarkFor(colour),
                                        PixelRect{markArea.left, markArea.top, markArea.right, markArea.bottom}, dpiX_);
  FillPolygons(dc, mark.edge, inks.markEdge);
  FillPolygons(dc, mark.core, inks.markCore);

  const char* caption = button == ProgramButton::CBPellux ? kCBPelluxCaption : kCBLINTAROCaption;
  const SelectedObject font(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  (void)::SetBkMode(dc, TRANSPARENT);
  (void)::SetTextColor(dc, AsColorRef(inks.text));
  DrawCentredText(dc, caption, AsRect(layout.caption, left, top), DT_SINGLELINE | DT_VCENTER);

  // A solid ring rather than the dotted XOR rectangle, which all but vanishes on green.
  if ((item.itemState & ODS_FOCUS) != 0) {
    FrameSolid(dc, AsRect(layout.ring, face.left, face.top), layout.ringWidth, inks.ring);
  }
}

void Win32MainWindow::DrawStrip(const DRAWITEMSTRUCT& item) const {
  HDC dc = item.hDC;
  const StripInks inks = StripInksFor(stripBack_, stripFore_, highContrast_, systemColours_);
  FillSolid(dc, item.rcItem, inks.back);
  const SelectedObject font(dc, arialBold_.get());
  (void)::SetBkMode(dc, TRANSPARENT);
  (void)::SetTextColor(dc, AsColorRef(inks.fore));
  // From the top, wrapped at the strip's width, cut at its height.
  DrawCentredText(dc, LoneCrToCrLf(stripText_), item.rcItem, DT_TOP | DT_WORDBREAK);
}

void Win32MainWindow::DrawPicture(const DRAWITEMSTRUCT& item) const { photograph_.Draw(item.hDC, item.rcItem); }

}  // namespace pellux::win32
