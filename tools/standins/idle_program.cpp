// A program without a window, a console or any output that runs until it is
// terminated: the Java runtime's windowless launcher once the controller is
// up, and the serial bridge. The command line is ignored.
//
// A file beside it named after it with ".window" (LINTARO.window for
// LINTARO.exe) gives it one visible top-level window, which answers its
// messages while no file named with ".hang" (LINTARO.hang) is beside it: as
// long as that one is there it sleeps without pumping, as a bridge stuck in a
// driver call does, and it answers again once it has gone.
#include <windows.h>

#include <cstring>

namespace {

// The test installs lie far inside this; anything longer is refused.
constexpr DWORD kPathCapacity = 1024;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 200;

char hangFile[kPathCapacity];

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
    while (Exists(hangFile)) Sleep(kPollMs);
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
      NameBeside(own, ".hang", hangFile))
    return RunWindow(instance, show);
  for (;;) Sleep(INFINITE);
}
