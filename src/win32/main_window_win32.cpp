#include "win32/main_window_win32.h"

#include <utility>

#include "common/scope_exit.h"
#include "programs/programs.h"
#include "ui/layout.h"
#include "win32/control_ids.h"
#include "win32/resource_ids.h"
#include "win32/win32_text.h"

namespace pellux::win32 {
namespace {

constexpr char kMainClass[] = "PelluxMONITOR.FrmMAIN";
constexpr char kOwnerClass[] = "PelluxMONITOR.Owner";
constexpr DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // no minimise, no maximise
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;  // no WS_EX_APPWINDOW: no taskbar button
constexpr int kButtonPictureDips = 32;

// Our colours keep red in the low byte as COLORREF does; the top byte must be
// 0, or GDI would read the value as a palette index.
COLORREF AsColorRef(Colour colour) { return static_cast<COLORREF>(colour & 0xFFFFFF); }

int Scale(int pixelsAt96, int dpi) { return ::MulDiv(pixelsAt96, dpi, 96); }

void FillSolid(HDC dc, const RECT& area, Colour colour) {
  UniqueBrush brush(::CreateSolidBrush(AsColorRef(colour)));
  if (brush) (void)::FillRect(dc, &area, brush.get());  // nothing to do when it fails
}

void DrawCentredText(HDC dc, const std::string& text, RECT area, UINT format) {
  // DT_NOPREFIX: an ampersand in a message is shown, not taken as a mnemonic.
  (void)::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &area,
                    format | DT_CENTER | DT_NOPREFIX);
}

std::size_t ButtonIndex(ProgramButton button) { return button == ProgramButton::CBPellux ? 0 : 1; }

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance)
    : instance_(instance),
      taskbarCreated_(::RegisterWindowMessageA("TaskbarCreated")),
      bigIcon_(LoadIconResource(instance, IDI_IMGICON0, ::GetSystemMetrics(SM_CXICON))),
      smallIcon_(LoadIconResource(instance, IDI_IMGICON0, ::GetSystemMetrics(SM_CXSMICON))) {
  buttonColours_.fill(kLightGrey);
  const ScreenDC screen;
  if (screen.get() != nullptr) {
    dpiX_ = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
    dpiY_ = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  }
  if (dpiX_ <= 0) dpiX_ = 96;
  if (dpiY_ <= 0) dpiY_ = 96;
}

Win32MainWindow::~Win32MainWindow() {
  // The windows go before the fonts and icons they show.
  if (window_ != nullptr) (void)::DestroyWindow(window_);
  if (owner_ != nullptr) (void)::DestroyWindow(owner_);
}

// --- creation -------------------------------------------------------------

void Win32MainWindow::RegisterClasses() {
  WNDCLASSEXA main{};
  main.cbSize = sizeof(main);
  main.lpfnWndProc = &Win32MainWindow::WindowProc;
  main.hInstance = instance_;
  main.hIcon = bigIcon_.get();
  main.hIconSm = smallIcon_.get();
  main.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  main.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  main.lpszClassName = kMainClass;

  WNDCLASSEXA owner{};
  owner.cbSize = sizeof(owner);
  owner.lpfnWndProc = &::DefWindowProcA;  // never shown; it only keeps us off the taskbar
  owner.hInstance = instance_;
  owner.lpszClassName = kOwnerClass;

  for (const WNDCLASSEXA* windowClass : {&main, &owner}) (void)::RegisterClassExA(windowClass);
}

HWND Win32MainWindow::MakeWindow(DWORD exStyle, const char* className, const char* text,
                                 DWORD style, const RECT& place, HWND parent, int id,
                                 void* param) {
  return ::CreateWindowExA(exStyle, className, text, style, place.left, place.top,
                           place.right, place.bottom, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, param);
}

HWND Win32MainWindow::MakeChild(const char* className, const char* text, DWORD style,
                                DWORD exStyle, int leftTwips, int topTwips, int widthTwips,
                                int heightTwips, int id) {
  const RECT place{PxX(leftTwips), PxY(topTwips), PxX(widthTwips), PxY(heightTwips)};
  return MakeWindow(exStyle, className, text, WS_CHILD | style, place, window_, id, nullptr);
}

bool Win32MainWindow::Create() {
  if (window_ != nullptr) return true;
  RegisterClasses();
  arialBold_.reset(::CreateFontA(-::MulDiv(kWindowFontPoints, dpiY_, 72), 0, 0, 0, FW_BOLD, FALSE,
                                 FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                                 kWindowFontFace));
  buttonPictureSize_ = Scale(kButtonPictureDips, dpiX_);
  pelluxPicture_ = LoadIconResource(instance_, IDI_CBPELLUX, buttonPictureSize_);
  lintaroPicture_ = LoadIconResource(instance_, IDI_CBLINTARO, buttonPictureSize_);
  (void)photograph_.Load(instance_, IDR_IMAGE1);  // without it the picture stays blank

  // A hidden top-level owner keeps the main window off the taskbar.
  owner_ = MakeWindow(0, kOwnerClass, "", WS_POPUP, RECT{0, 0, 0, 0}, nullptr, 0, nullptr);
  // The size passed here is fixed at once by SetOuterSizeForClient.
  window_ = MakeWindow(kMainExStyle, kMainClass, kWindowTitle, kMainStyle,
                       RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, owner_, 0,
                       this);
  if (window_ == nullptr) return false;
  SetOuterSizeForClient(PxX(kClientWidthTwips), PxY(kClientHeightCreatedTwips));

  // Creation order is the Tab order: TBPort, CBLINTARO, CBPellux.
  const DWORD shown = WS_VISIBLE;
  port_ = MakeChild("EDIT", "", shown | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                    kTBPortRect.left, kTBPortRect.top, kTBPortRect.width, kTBPortRect.height,
                    kIdTBPort);
  cbLintaro_ = MakeChild("BUTTON", kCBLINTAROCaption, shown | WS_TABSTOP | BS_OWNERDRAW, 0,
                         kCBLINTARORect.left, kCBLINTARORect.top, kCBLINTARORect.width,
                         kCBLINTARORect.height, kIdCBLINTARO);
  cbPellux_ = MakeChild("BUTTON", kCBPelluxCaption, shown | WS_TABSTOP | BS_OWNERDRAW, 0,
                        kCBPelluxRect.left, kCBPelluxRect.top, kCBPelluxRect.width,
                        kCBPelluxRect.height, kIdCBPellux);
  label_ = MakeChild("STATIC", kLabel1Text, shown | SS_CENTER, 0, kLabel1Rect.left,
                     kLabel1Rect.top, kLabel1Rect.width, kLabel1Rect.height, kIdLabel1);
  picture_ = MakeChild("STATIC", "", shown | SS_OWNERDRAW, 0, kImage1Rect.left, kImage1Rect.top,
                       kImage1Rect.width, kImage1Rect.height, kIdImage1);
  // The strip's window text is the message itself, so other programs can read it.
  strip_ = MakeChild("STATIC", "", WS_BORDER | SS_OWNERDRAW, 0, kLBLMSGRect.left, kLBLMSGRect.top,
                     kLBLMSGRect.width, kLBLMSGRect.height, kIdLBLMSG);
  // The tray icon's mouse messages go to this hidden box below the visible
  // area, where nothing handles them.
  hook_ = MakeChild("STATIC", "", 0, 0, 150, 3660, 855, 525, kIdPichook);

  for (HWND withFont : {port_, label_, strip_}) {
    if (withFont == nullptr) continue;
    (void)::SendMessageA(withFont, WM_SETFONT, reinterpret_cast<WPARAM>(arialBold_.get()), FALSE);
  }
  return true;
}

void Win32MainWindow::SetOuterSizeForClient(int clientWidthPx, int clientHeightPx) {
  // Whatever frame the system draws, the client area gets exactly this size.
  RECT outer{0, 0, clientWidthPx, clientHeightPx};
  (void)::AdjustWindowRectEx(&outer, kMainStyle, FALSE, kMainExStyle);
  Resize(window_, outer.right - outer.left, outer.bottom - outer.top);
}

void Win32MainWindow::SetOuterHeightTwips(int twips) {
  // The height given includes the frame the window was laid out for; the
  // client area left by that frame is what must be visible here.
  SetOuterSizeForClient(PxX(kClientWidthTwips), PxY(twips - kFrameTopTwips - kFrameBottomTwips));
}

void Win32MainWindow::SetPictureSizeTwips(int widthTwips, int heightTwips) {
  Resize(picture_, PxX(widthTwips), PxY(heightTwips));
}

void Win32MainWindow::Resize(HWND window, int widthPx, int heightPx) {
  if (window == nullptr) return;
  (void)::SetWindowPos(window, nullptr, 0, 0, widthPx, heightPx,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32MainWindow::PxX(int twips) const { return TwipsToPixels(twips, dpiX_); }
int Win32MainWindow::PxY(int twips) const { return TwipsToPixels(twips, dpiY_); }

// --- element access -------------------------------------------------------

void Win32MainWindow::ShowChild(HWND window, bool visible) {
  if (window != nullptr) (void)::ShowWindow(window, visible ? SW_SHOW : SW_HIDE);  // returns the old state
}

void Win32MainWindow::Repaint(HWND window) {
  if (window != nullptr) (void)::InvalidateRect(window, nullptr, TRUE);
}

void Win32MainWindow::Show() { ShowChild(window_, true); }
void Win32MainWindow::Hide() { ShowChild(window_, false); }

std::uintptr_t Win32MainWindow::HookWindow() { return reinterpret_cast<std::uintptr_t>(hook_); }

HWND Win32MainWindow::ButtonWindow(ProgramButton button) const {
  return button == ProgramButton::CBPellux ? cbPellux_ : cbLintaro_;
}

Colour Win32MainWindow::ButtonColour(ProgramButton button) {
  return buttonColours_[ButtonIndex(button)];
}

void Win32MainWindow::SetButtonColour(ProgramButton button, Colour colour) {
  buttonColours_[ButtonIndex(button)] = colour;
  Repaint(ButtonWindow(button));
}

std::string Win32MainWindow::PortText() {
  if (port_ == nullptr) return {};
  const int length = ::GetWindowTextLengthA(port_);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(port_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void Win32MainWindow::SetPortText(const std::string& text) {
  if (port_ != nullptr) (void)::SetWindowTextA(port_, text.c_str());
}

bool Win32MainWindow::PortVisible() {
  // The field's own visibility, whether or not the window is shown yet.
  return port_ != nullptr && (::GetWindowLongPtrA(port_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32MainWindow::FocusPort() {
  if (port_ != nullptr) (void)::SetFocus(port_);
}

void Win32MainWindow::SetStripColours(Colour back, Colour fore) {
  stripBack_ = back;
  stripFore_ = fore;
  Repaint(strip_);
}

void Win32MainWindow::SetStripText(const std::string& text) {
  stripText_ = text;
  if (strip_ != nullptr) (void)::SetWindowTextA(strip_, text.c_str());
  Repaint(strip_);
}

void Win32MainWindow::SetStripVisible(bool visible) { ShowChild(strip_, visible); }
void Win32MainWindow::SetPictureVisible(bool visible) { ShowChild(picture_, visible); }

bool Win32MainWindow::Arm(TimerId timer, std::uint32_t intervalMs) {
  // Setting a running timer again starts its countdown again.
  return window_ != nullptr &&
         ::SetTimer(window_, static_cast<UINT_PTR>(timer), intervalMs, nullptr) != 0;
}

void Win32MainWindow::Disarm(TimerId timer) {
  if (window_ != nullptr) (void)::KillTimer(window_, static_cast<UINT_PTR>(timer));  // FALSE when not armed
}

// --- message loop and window procedure --------------------------------------

bool Win32MainWindow::PreTranslate(MSG& message) {
  // A new press or key starts afresh: a click cancelled by a rejected port
  // value is only the one whose press took the focus away from the field.
  if (message.message == WM_LBUTTONDOWN || message.message == WM_LBUTTONDBLCLK ||
      message.message == WM_KEYDOWN) {
    rejectedPress_ = false;
  }
  return window_ != nullptr && ::IsDialogMessageA(window_, &message) != FALSE;
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) noexcept {
  try {
    auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
      self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      (void)::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      if (self != nullptr) self->window_ = window;
    }
    if (self == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      (void)::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      self->window_ = nullptr;
      return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Nothing may unwind into the system's code; the event is dropped.
    return 0;
  }
}

LRESULT Win32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM: return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC: return OnCtlColorStatic(wParam, lParam);
    case WM_TIMER: return OnTimer(wParam);
    case WM_ACTIVATE: return OnActivate(wParam, lParam);
    case WM_SETFOCUS: return OnSetFocus();
    case WM_CLOSE: return OnCloseRequest();
    case WM_QUERYENDSESSION: return OnQueryEndSession();
    case WM_ENDSESSION: return OnEndSession(wParam != FALSE, (lParam & ENDSESSION_CLOSEAPP) != 0);
    case WMAPP_VALIDATE_PORT: return OnValidatePort();
    case WM_DESTROY: return OnDestroy();
    default: return OnOtherMessage(message, wParam, lParam);
  }
}

LRESULT Win32MainWindow::OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // A registered message has no constant value, so it cannot be a case label.
  if (taskbarCreated_ != 0 && message == taskbarCreated_) {
    if (events_ != nullptr) events_->OnTaskbarCreated();
    return 0;
  }
  return ::DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT Win32MainWindow::OnCommand(int id, int code) {
  if (id == kIdTBPort && code == EN_KILLFOCUS) OnPortKillFocus();
  // An owner-drawn button reports a quick second click as a double click.
  const bool clicked = code == BN_CLICKED || code == BN_DOUBLECLICKED;
  if (id == kIdCBPellux && clicked) OnProgramButton(ProgramButton::CBPellux);
  if (id == kIdCBLINTARO && clicked) OnProgramButton(ProgramButton::CBLINTARO);
  return 0;
}

LRESULT Win32MainWindow::OnTimer(WPARAM id) {
  if (events_ == nullptr) return 0;
  if (id == static_cast<WPARAM>(TimerId::Timer1)) events_->OnTimer(TimerId::Timer1);
  if (id == static_cast<WPARAM>(TimerId::Timer3)) events_->OnTimer(TimerId::Timer3);
  return 0;
}

LRESULT Win32MainWindow::OnActivate(WPARAM wParam, LPARAM lParam) {
  // As a dialog does: the control that had the focus gets it back when the
  // window is active again (after a message box, or another program).
  if (LOWORD(wParam) == WA_INACTIVE) {
    HWND focus = ::GetFocus();
    if (focus != nullptr && ::IsChild(window_, focus)) savedFocus_ = focus;
    return ::DefWindowProcA(window_, WM_ACTIVATE, wParam, lParam);
  }
  if (HIWORD(wParam) == 0 && savedFocus_ != nullptr && ::IsWindow(savedFocus_)) {
    (void)::SetFocus(savedFocus_);
    return 0;
  }
  return ::DefWindowProcA(window_, WM_ACTIVATE, wParam, lParam);
}

LRESULT Win32MainWindow::OnSetFocus() {
  HWND target = savedFocus_ != nullptr && ::IsWindow(savedFocus_) ? savedFocus_ : port_;
  if (target != nullptr) (void)::SetFocus(target);
  return 0;
}

LRESULT Win32MainWindow::OnCloseRequest() {
  // Never refused: the core removes the tray icon and ends the program.
  if (events_ != nullptr) events_->OnCloseRequest();
  return TRUE;
}

LRESULT Win32MainWindow::OnQueryEndSession() {
  // Only a question: the shutdown may still be cancelled, and the monitor
  // must go on supervising then. It ends on WM_ENDSESSION, when the session
  // really ends; until then the cycle holds its hand.
  if (events_ != nullptr) events_->OnSessionEnding();
  return TRUE;
}

LRESULT Win32MainWindow::OnEndSession(bool ending, bool closeApp) {
  if (events_ == nullptr) return 0;
  if (!ending) {
    events_->OnSessionEndCancelled();
  } else if (closeApp) {
    events_->OnClosedForUpdate();  // Restart Manager: an installer replaces the exe
  } else {
    events_->OnSessionEnd();
  }
  return 0;
}

LRESULT Win32MainWindow::OnDestroy() {
  // Only reached if the window is destroyed behind the core's back; the loop ends.
  ::PostQuitMessage(0);
  return 0;
}

// --- the port field's focus loss ----------------------------------------------

void Win32MainWindow::OnPortKillFocus() {
  // A box shown from inside the focus-loss notification would set off focus
  // ping-pong; the validation runs from the posted message instead, once.
  if (validating_ || validationPending_ || window_ == nullptr) return;
  validationPending_ = true;
  if (!::PostMessageA(window_, WMAPP_VALIDATE_PORT, 0, 0)) validationPending_ = false;
}

LRESULT Win32MainWindow::OnValidatePort() {
  (void)RunPendingValidation();  // a rejection is remembered for the click of the same press
  return 0;
}

bool Win32MainWindow::RunPendingValidation() {
  if (!std::exchange(validationPending_, false) || events_ == nullptr) return true;
  // Only a move to another control of this window is a focus loss of the
  // field: not a switch to another program, nor a focus already back in it.
  HWND focus = ::GetFocus();
  if (focus == nullptr || focus == port_ || !::IsChild(window_, focus)) return true;
  // Cleared on every way out: left set by an exception (which the window
  // procedure drops), it would stop every later validation of the field.
  validating_ = true;
  const ScopeExit done([this] { validating_ = false; });
  const bool accepted = events_->OnPortFieldLostFocus();
  if (!accepted) rejectedPress_ = true;
  return accepted;
}

void Win32MainWindow::OnProgramButton(ProgramButton button) {
  // The field's validation comes before the click: a rejected value cancels
  // it (the box took it), a rewritten one is what the click reads.
  if (!RunPendingValidation()) return;
  if (std::exchange(rejectedPress_, false)) return;
  if (events_ != nullptr) events_->OnProgramButtonClick(button);
}

// --- drawing ------------------------------------------------------------------

LRESULT Win32MainWindow::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != label_) {
    return ::DefWindowProcA(window_, WM_CTLCOLORSTATIC, wParam, lParam);
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
