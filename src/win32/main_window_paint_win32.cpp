#include "win32/main_window_win32.h"

#include "ui/layout.h"
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

void DrawCentredText(HDC dc, const std::string& text, RECT area, UINT format) {
  // DT_NOPREFIX: an ampersand in a message is shown, not taken as a mnemonic.
  const std::wstring wide = Utf8ToWide(text);
  (void)::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &area,
                    format | DT_CENTER | DT_NOPREFIX);
}

}  // namespace

LRESULT Win32MainWindow::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != label_) {
    return ::DefWindowProcW(window_, WM_CTLCOLORSTATIC, wParam, lParam);
  }
  HDC dc = reinterpret_cast<HDC>(wParam);
  (void)::SetTextColor(dc, AsColorRef(kBlack));
  (void)::SetBkColor(dc, AsColorRef(kWhite));
  return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

LRESULT Win32MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  switch (item.CtlID) {
    case kIdCBPellux: DrawProgramButton(item, ProgramButton::CBPellux); return TRUE;
    case kIdCBLINTARO: DrawProgramButton(item, ProgramButton::CBLINTARO); return TRUE;
    case kIdLBLMSG: DrawStrip(item); return TRUE;
    case kIdImage1: DrawPicture(item); return TRUE;
    default: return FALSE;
  }
}

void Win32MainWindow::DrawProgramButton(const DRAWITEMSTRUCT& item, ProgramButton button) const {
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  FillSolid(dc, face, buttonColours_[ButtonIndex(button)]);
  (void)::DrawEdge(dc, &face, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

  // Picture, caption and focus rectangle stay clear of a band of pure face
  // colour along every edge, where the button's colour can be sampled.
  const int shift = pushed ? 1 : 0;
  const int band = Scale(9, dpiX_);
  const int width = face.right - face.left;
  HICON picture = button == ProgramButton::CBPellux ? pelluxPicture_.get() : lintaroPicture_.get();
  const int pictureTop = face.top + Scale(12, dpiY_) + shift;
  if (picture != nullptr) {
    (void)::DrawIconEx(dc, face.left + (width - buttonPictureSize_) / 2 + shift, pictureTop,
                       picture, buttonPictureSize_, buttonPictureSize_, 0, nullptr, DI_NORMAL);
  }

  const char* caption = button == ProgramButton::CBPellux ? kCBPelluxCaption : kCBLINTAROCaption;
  RECT captionArea{face.left + band + shift, pictureTop + buttonPictureSize_ + Scale(2, dpiY_),
                   face.right - band + shift, face.bottom - band + shift};
  const SelectedObject font(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  (void)::SetBkMode(dc, TRANSPARENT);
  (void)::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  DrawCentredText(dc, caption, captionArea, DT_SINGLELINE | DT_VCENTER);

  if ((item.itemState & ODS_FOCUS) != 0) {
    RECT focus{face.left + band, face.top + band, face.right - band, face.bottom - band};
    (void)::DrawFocusRect(dc, &focus);
  }
}

void Win32MainWindow::DrawStrip(const DRAWITEMSTRUCT& item) const {
  HDC dc = item.hDC;
  FillSolid(dc, item.rcItem, stripBack_);
  const SelectedObject font(dc, arialBold_.get());
  (void)::SetBkMode(dc, TRANSPARENT);
  (void)::SetTextColor(dc, AsColorRef(stripFore_));
  // From the top, wrapped at the strip's width, cut at its height.
  DrawCentredText(dc, LoneCrToCrLf(stripText_), item.rcItem, DT_TOP | DT_WORDBREAK);
}

void Win32MainWindow::DrawPicture(const DRAWITEMSTRUCT& item) const {
  photograph_.Draw(item.hDC, item.rcItem);
}

}  // namespace pellux::win32
