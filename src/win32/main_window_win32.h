#pragma once
#include <windows.h>

#include <array>
#include <cstddef>
#include <string>

#include "platform/timers.h"
#include "platform/window_controls.h"
#include "ui/state_marks.h"
#include "ui/window_events.h"
#include "win32/resources_win32.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// The main window's class; a second start finds the first monitor by it.
inline constexpr wchar_t kMainWindowClass[] = L"PelluxMONITOR.FrmMAIN";

// Posted when the port field lost the focus, so that its validation runs once
// the focus change is complete and never from inside the notification.
inline constexpr UINT WMAPP_VALIDATE_PORT = WM_APP + 1;
// Posted from the system's thread pool when a watched supervised program ends.
inline constexpr UINT WMAPP_PROGRAM_ENDED = WM_APP + 2;

// FrmMAIN: the real main window with its children, its two timers, and the
// window procedure that turns window messages into WindowEvents calls. Its
// creation and the controls' accessors are in main_window_win32.cpp, the
// message dispatch with the port field's validation state in
// main_window_dispatch_win32.cpp, the owner-drawn painting in
// main_window_paint_win32.cpp.
class Win32MainWindow final : public WindowControls, public Timers {
 public:
  explicit Win32MainWindow(HINSTANCE instance);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  void SetEvents(WindowEvents* events) { events_ = events; }
  // The main window, or null before Create.
  [[nodiscard]] HWND Handle() const { return window_; }
  // Sees every message of the loop before it is dispatched: Enter presses a
  // focused program button, and the dialog manager moves the focus with Tab
  // and Shift+Tab and presses a focused button with Space. True when the
  // message was handled here.
  [[nodiscard]] bool PreTranslate(MSG& message);

  [[nodiscard]] bool Create() override;
  void SetOuterHeightTwips(int twips) override;
  void SetPictureSizeTwips(int widthTwips, int heightTwips) override;
  void Show() override;
  void Hide() override;
  [[nodiscard]] std::uintptr_t HookWindow() override;
  [[nodiscard]] Colour ButtonColour(ProgramButton button) override;
  void SetButtonColour(ProgramButton button, Colour colour) override;
  [[nodiscard]] std::string PortText() override;
  void SetPortText(const std::string& text) override;
  [[nodiscard]] bool PortVisible() override;
  void FocusPort() override;
  void SetStripColours(Colour back, Colour fore) override;
  void SetStripText(const std::string& text) override;
  void SetStripVisible(bool visible) override;
  void SetPictureVisible(bool visible) override;

  bool Arm(TimerId timer, std::uint32_t intervalMs) override;
  void Disarm(TimerId timer) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  LRESULT OnCommand(int id, int code);
  LRESULT OnDrawItem(const DRAWITEMSTRUCT& item);
  LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);
  LRESULT OnTimer(WPARAM id);
  LRESULT OnActivate(WPARAM wParam, LPARAM lParam);
  LRESULT OnSetFocus();
  LRESULT OnSystemColours(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCloseRequest();
  LRESULT OnQueryEndSession();
  LRESULT OnEndSession(bool ending, bool closeApp);
  LRESULT OnValidatePort();
  LRESULT OnProgramEnded();
  LRESULT OnDestroy();
  LRESULT OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnPortKillFocus();
  void OnProgramButton(ProgramButton button);
  // Runs a validation that is still pending. False when it rejected the text.
  bool RunPendingValidation();

  // Reads whether High Contrast is on and the system's colours, as at start
  // and whenever the system says they changed.
  void ReadContrast();
  void DrawProgramButton(const DRAWITEMSTRUCT& item, ProgramButton button) const;
  void DrawStrip(const DRAWITEMSTRUCT& item) const;
  void DrawPicture(const DRAWITEMSTRUCT& item) const;

  void RegisterClasses();
  // Texts in UTF-8, as the core holds them; the windows are Unicode ones.
  HWND MakeWindow(DWORD exStyle, const wchar_t* className, const std::string& text, DWORD style, const RECT& place,
                  HWND parent, int id, void* param);
  HWND MakeChild(const wchar_t* className, const std::string& text, DWORD style, DWORD exStyle, int leftTwips,
                 int topTwips, int widthTwips, int heightTwips, int id);
  void SetOuterSizeForClient(int clientWidthPx, int clientHeightPx);
  void Resize(HWND window, int widthPx, int heightPx);
  void ShowChild(HWND window, bool visible);
  void Repaint(HWND window);
  [[nodiscard]] int PxX(int twips) const;
  [[nodiscard]] int PxY(int twips) const;
  [[nodiscard]] HWND ButtonWindow(ProgramButton button) const;
  [[nodiscard]] static std::size_t ButtonIndex(ProgramButton button);
  // Pixels at 96 dpi, scaled to the screen's resolution.
  [[nodiscard]] static int Scale(int pixelsAt96, int dpi);

  HINSTANCE instance_;
  WindowEvents* events_ = nullptr;
  UINT taskbarCreated_ = 0;
  int dpiX_ = 96;
  int dpiY_ = 96;

  HWND owner_ = nullptr;
  HWND window_ = nullptr;
  HWND port_ = nullptr;
  HWND cbPellux_ = nullptr;
  HWND cbLintaro_ = nullptr;
  HWND label_ = nullptr;
  HWND picture_ = nullptr;
  HWND strip_ = nullptr;
  HWND hook_ = nullptr;
  HWND savedFocus_ = nullptr;

  UniqueFont arialBold_;
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  UniqueIcon pelluxPicture_;
  UniqueIcon lintaroPicture_;
  int buttonPictureSize_ = 32;
  JpegPicture photograph_;

  bool highContrast_ = false;
  SystemColours systemColours_{};

  std::array<Colour, 2> buttonColours_{};
  Colour stripBack_ = 0;
  Colour stripFore_ = 0;
  std::string stripText_;

  bool validationPending_ = false;
  bool validating_ = false;
  bool rejectedPress_ = false;
};

}  // namespace pellux::win32
