#include "win32/main_window_win32.h"

#include "ui/layout.h"
#include "win32/control_ids.h"
#include "win32/resource_ids.h"
#include "win32/utf_conversion.h"

namespace pellux::win32 {
namespace {

constexpr wchar_t kOwnerClass[] = L"PelluxMONITOR.Owner";
constexpr DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // no minimise, no maximise
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;                      // no WS_EX_APPWINDOW: no taskbar button
constexpr int kButtonPictureDips = 32;

}  // namespace

std::size_t Win32MainWindow::ButtonIndex(ProgramButton button) { return button == ProgramButton::CBPellux ? 0 : 1; }

int Win32MainWindow::Scale(int pixelsAt96, int dpi) { return ::MulDiv(pixelsAt96, dpi, 96); }

Win32MainWindow::Win32MainWindow(HINSTANCE instance)
    : instance_(instance),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")),
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

void Win32MainWindow::RegisterClasses() {
  WNDCLASSEXW main{};
  main.cbSize = sizeof(main);
  main.lpfnWndProc = &Win32MainWindow::WindowProc;
  main.hInstance = instance_;
  main.hIcon = bigIcon_.get();
  main.hIconSm = smallIcon_.get();
  main.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  main.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  main.lpszClassName = kMainWindowClass;

  WNDCLASSEXW owner{};
  owner.cbSize = sizeof(owner);
  owner.lpfnWndProc = &::DefWindowProcW;  // never shown; it only keeps us off the taskbar
  owner.hInstance = instance_;
  owner.lpszClassName = kOwnerClass;

  for (const WNDCLASSEXW* windowClass : {&main, &owner}) (void)::RegisterClassExW(windowClass);
}

HWND Win32MainWindow::MakeWindow(DWORD exStyle, const wchar_t* className, const std::string& text, DWORD style,
                                 const RECT& place, HWND parent, int id, void* param) {
  return ::CreateWindowExW(exStyle, className, Utf8ToWide(text).c_str(), style, place.left, place.top, place.right,
                           place.bottom, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, param);
}

HWND Win32MainWindow::MakeChild(const wchar_t* className, const std::string& text, DWORD style, DWORD exStyle,
                                int leftTwips, int topTwips, int widthTwips, int heightTwips, int id) {
  const RECT place{PxX(leftTwips), PxY(topTwips), PxX(widthTwips), PxY(heightTwips)};
  return MakeWindow(exStyle, className, text, WS_CHILD | style, place, window_, id, nullptr);
}

bool Win32MainWindow::Create() {
  if (window_ != nullptr) return true;
  RegisterClasses();
  arialBold_.reset(::CreateFontW(-::MulDiv(kWindowFontPoints, dpiY_, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 VARIABLE_PITCH | FF_SWISS, Utf8ToWide(kWindowFontFace).c_str()));
  buttonPictureSize_ = Scale(kButtonPictureDips, dpiX_);
  pelluxPicture_ = LoadIconResource(instance_, IDI_CBPELLUX, buttonPictureSize_);
  lintaroPicture_ = LoadIconResource(instance_, IDI_CBLINTARO, buttonPictureSize_);
  (void)photograph_.Load(instance_, IDR_IMAGE1);  // without it the picture stays blank

  // A hidden top-level owner keeps the main window off the taskbar.
  owner_ = MakeWindow(0, kOwnerClass, "", WS_POPUP, RECT{0, 0, 0, 0}, nullptr, 0, nullptr);
  // The size passed here is fixed at once by SetOuterSizeForClient.
  window_ = MakeWindow(kMainExStyle, kMainWindowClass, kWindowTitle, kMainStyle,
                       RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, owner_, 0, this);
  if (window_ == nullptr) return false;
  ReadContrast();
  SetOuterSizeForClient(PxX(kClientWidthTwips), PxY(kClientHeightCreatedTwips));

  // Creation order is the Tab order, left to right as on the screen:
  // CBLINTARO, TBPort, CBPellux. The label comes just before the field, so
  // that screen readers take "Puerto" for the field's name.
  const DWORD shown = WS_VISIBLE;
  cbLintaro_ = MakeChild(L"BUTTON", kCBLINTAROCaption, shown | WS_TABSTOP | BS_OWNERDRAW, 0, kCBLINTARORect.left,
                         kCBLINTARORect.top, kCBLINTARORect.width, kCBLINTARORect.height, kIdCBLINTARO);
  label_ = MakeChild(L"STATIC", kLabel1Text, shown | SS_CENTER, 0, kLabel1Rect.left, kLabel1Rect.top, kLabel1Rect.width,
                     kLabel1Rect.height, kIdLabel1);
  port_ = MakeChild(L"EDIT", "", shown | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kTBPortRect.left,
                    kTBPortRect.top, kTBPortRect.width, kTBPortRect.height, kIdTBPort);
  cbPellux_ = MakeChild(L"BUTTON", kCBPelluxCaption, shown | WS_TABSTOP | BS_OWNERDRAW, 0, kCBPelluxRect.left,
                        kCBPelluxRect.top, kCBPelluxRect.width, kCBPelluxRect.height, kIdCBPellux);
  picture_ = MakeChild(L"STATIC", "", shown | SS_OWNERDRAW, 0, kImage1Rect.left, kImage1Rect.top, kImage1Rect.width,
                       kImage1Rect.height, kIdImage1);
  // The strip's window text is the message itself, so other programs can read it.
  strip_ = MakeChild(L"STATIC", "", WS_BORDER | SS_OWNERDRAW, 0, kLBLMSGRect.left, kLBLMSGRect.top, kLBLMSGRect.width,
                     kLBLMSGRect.height, kIdLBLMSG);
  // The tray icon's mouse messages go to this hidden box below the visible
  // area, where nothing handles them.
  hook_ = MakeChild(L"STATIC", "", 0, 0, 150, 3660, 855, 525, kIdPichook);

  for (HWND withFont : {port_, label_, strip_}) {
    if (withFont == nullptr) continue;
    (void)::SendMessageW(withFont, WM_SETFONT, reinterpret_cast<WPARAM>(arialBold_.get()), FALSE);
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
  (void)::SetWindowPos(window, nullptr, 0, 0, widthPx, heightPx, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32MainWindow::PxX(int twips) const { return TwipsToPixels(twips, dpiX_); }
int Win32MainWindow::PxY(int twips) const { return TwipsToPixels(twips, dpiY_); }

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

Colour Win32MainWindow::ButtonColour(ProgramButton button) { return buttonColours_[ButtonIndex(button)]; }

void Win32MainWindow::SetButtonColour(ProgramButton button, Colour colour) {
  buttonColours_[ButtonIndex(button)] = colour;
  Repaint(ButtonWindow(button));
}

std::string Win32MainWindow::PortText() {
  if (port_ == nullptr) return {};
  const int length = ::GetWindowTextLengthW(port_);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(port_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return WideToUtf8(text);
}

void Win32MainWindow::SetPortText(const std::string& text) {
  if (port_ != nullptr) (void)::SetWindowTextW(port_, Utf8ToWide(text).c_str());
}

bool Win32MainWindow::PortVisible() {
  // The field's own visibility, whether or not the window is shown yet.
  return port_ != nullptr && (::GetWindowLongPtrW(port_, GWL_STYLE) & WS_VISIBLE) != 0;
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
  if (strip_ != nullptr) (void)::SetWindowTextW(strip_, Utf8ToWide(text).c_str());
  Repaint(strip_);
}

void Win32MainWindow::SetStripVisible(bool visible) { ShowChild(strip_, visible); }
void Win32MainWindow::SetPictureVisible(bool visible) { ShowChild(picture_, visible); }

bool Win32MainWindow::Arm(TimerId timer, std::uint32_t intervalMs) {
  // Setting a running timer again starts its countdown again.
  return window_ != nullptr && ::SetTimer(window_, static_cast<UINT_PTR>(timer), intervalMs, nullptr) != 0;
}

void Win32MainWindow::Disarm(TimerId timer) {
  if (window_ != nullptr) (void)::KillTimer(window_, static_cast<UINT_PTR>(timer));  // FALSE when not armed
}

}  // namespace pellux::win32
