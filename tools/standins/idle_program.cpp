// A program without a window, a console or any output that runs until it is
// terminated: the Java runtime's windowless launcher once the controller is
// up, and the serial bridge. The command line is ignored.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  for (;;) Sleep(INFINITE);
}
