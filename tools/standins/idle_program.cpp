// A program without a window, a console or any output that runs until it is
// terminated: the Java runtime's windowless launcher once the controller is
// up, and the serial bridge. The command line is ignored.
//
// A file beside it named after it with ".window" (LINTARO.window for
// LINTARO.exe) gives it one visible top-level window, which answers its
// messages while no file named with ".hang" (LINTARO.hang) is beside it: as
// long as that one is there it sleeps without pumping, as a bridge stuck in a
// driver call does, and it answers again once it has gone. With a file named
// with ".ghost" (LINTARO.ghost) beside it as well, its window is hidden once
// the system judges it not responding, as Windows hides a window that has not
// answered for about five seconds behind a ghost window of its own (window
// ghosting), which Wine never does; it is shown again when it answers.
#include <windows.h>

#include <cstring>

namespace {

// The test installs lie far inside this; anything longer is refused.
constexpr DWORD kPathCapacity = 1024;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 200;

char hangFile[kPathCapacity];
char ghostFile[kPathCapacity];

// own (the program's path) with its ".exe" replaced by suffix, into name.
bool NameBeside(const char* own, const char* suffix, char* name) {
  const std::size_t length = std::strlen(own);
  const std::size_t suffixLength = std::strlen(suffix);
  if (length < 4 || length - 4 + suffixLength + 1 > kPathCapacity) return false;
  std::memcpy(name, own, length - 4);
  std::memcpy(name + length - 4, suffix, suffixLength + 1);
  return true;
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kPollTimer) {
    bool ghosted = false;
    while (Exists(hangFile)) {
      Sleep(kPollMs);
      // Hidden from the window's own thread, which still takes no message.
      if (!ghosted && IsHungAppWindow(window) && Exists(ghostFile)) ghosted = ShowWindow(window, SW_HIDE) != FALSE;
    }
    if (ghosted) ShowWindow(window, SW_SHOW);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int RunWindow(HINSTANCE instance, int show) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "PelluxStandIn";
  if (RegisterClassA(&windowClass) == 0) return 1;
  const HWND window = CreateWindowA("PelluxStandIn", "Stand-in", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                    120, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  SetTimer(window, kPollTimer, kPollMs, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  char own[kPathCapacity];
  const DWORD length = GetModuleFileNameA(nullptr, own, kPathCapacity);
  char windowFile[kPathCapacity];
  if (length != 0 && length < kPathCapacity && NameBeside(own, ".window", windowFile) && Exists(windowFile) &&
      NameBeside(own, ".hang", hangFile) && NameBeside(own, ".ghost", ghostFile))
    return RunWindow(instance, show);
  for (;;) Sleep(INFINITE);
}
