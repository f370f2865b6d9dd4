#include "win32/main_window_win32.h"

#include <utility>

#include "common/scope_exit.h"
#include "win32/control_ids.h"

namespace pellux::win32 {

bool Win32MainWindow::PreTranslate(MSG& message) {
  // A new press or key starts afresh: a click cancelled by a rejected port
  // value is only the one whose press took the focus away from the field.
  if (message.message == WM_LBUTTONDOWN || message.message == WM_LBUTTONDBLCLK || message.message == WM_KEYDOWN) {
    rejectedPress_ = false;
  }
  // Enter presses the focused program button as Space does. An owner-drawn
  // button tells the dialog manager it is a plain button, and the dialog
  // manager turns Enter into IDOK, which this window has no use for. A key
  // held down presses once.
  const bool firstPress = (message.lParam & (1L << 30)) == 0;
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && window_ != nullptr &&
      (message.hwnd == cbPellux_ || message.hwnd == cbLintaro_)) {
    if (firstPress) {
      (void)::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(message.hwnd), BN_CLICKED),
                           reinterpret_cast<LPARAM>(message.hwnd));
    }
    return true;
  }
  return window_ != nullptr && ::IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
      self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      (void)::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      if (self != nullptr) self->window_ = window;
    }
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      (void)::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->window_ = nullptr;
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Nothing may unwind into the system's code; the event is dropped.
    return 0;
  }
}

LRESULT Win32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM:
      return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(wParam, lParam);
    case WM_TIMER:
      return OnTimer(wParam);
    case WM_ACTIVATE:
      return OnActivate(wParam, lParam);
    case WM_SETFOCUS:
      return OnSetFocus();
    case WM_SYSCOLORCHANGE:
      return OnSystemColours(message, wParam, lParam);
    case WM_SETTINGCHANGE:
      return OnSystemColours(message, wParam, lParam);
    case WM_CLOSE:
      return OnCloseRequest();
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case WM_ENDSESSION:
      return OnEndSession(wParam != FALSE, (lParam & ENDSESSION_CLOSEAPP) != 0);
    case WMAPP_VALIDATE_PORT:
      return OnValidatePort();
    case WMAPP_PROGRAM_ENDED:
      return OnProgramEnded();
    case WM_DESTROY:
      return OnDestroy();
    default:
      return OnOtherMessage(message, wParam, lParam);
  }
}

LRESULT Win32MainWindow::OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // A registered message has no constant value, so it cannot be a case label.
  if (taskbarCreated_ != 0 && message == taskbarCreated_) {
    if (events_ != nullptr) events_->OnTaskbarCreated();
    return 0;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
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
    return ::DefWindowProcW(window_, WM_ACTIVATE, wParam, lParam);
  }
  if (HIWORD(wParam) == 0 && savedFocus_ != nullptr && ::IsWindow(savedFocus_)) {
    (void)::SetFocus(savedFocus_);
    return 0;
  }
  return ::DefWindowProcW(window_, WM_ACTIVATE, wParam, lParam);
}

LRESULT Win32MainWindow::OnSetFocus() {
  HWND target = savedFocus_ != nullptr && ::IsWindow(savedFocus_) ? savedFocus_ : port_;
  if (target != nullptr) (void)::SetFocus(target);
  return 0;
}

LRESULT Win32MainWindow::OnSystemColours(UINT message, WPARAM wParam, LPARAM lParam) {
  // High Contrast switched on or off, or another scheme chosen: drawn anew in it.
  ReadContrast();
  (void)::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  return ::DefWindowProcW(window_, message, wParam, lParam);
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

void Win32MainWindow::OnPortKillFocus() {
  // A box shown from inside the focus-loss notification would set off focus
  // ping-pong; the validation runs from the posted message instead, once.
  if (validating_ || validationPending_ || window_ == nullptr) return;
  validationPending_ = true;
  if (!::PostMessageW(window_, WMAPP_VALIDATE_PORT, 0, 0)) validationPending_ = false;
}

LRESULT Win32MainWindow::OnValidatePort() {
  (void)RunPendingValidation();  // a rejection is remembered for the click of the same press
  return 0;
}

LRESULT Win32MainWindow::OnProgramEnded() {
  if (events_ != nullptr) events_->OnSupervisedProgramEnded();
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

}  // namespace pellux::win32
