// The controller as its Java launcher behaves: it starts the windowless
// runtime launcher from the folder below its own and exits at once, so the
// controller lives on only as a javaw.exe process, whose command line names
// the controller's jar after the runtime's path. Its own command line is
// ignored. A file beside it named after it with ".runtime" (Ctl.runtime for
// Ctl.exe) names another runtime by its full path on its first line, as a
// launcher's configuration points at an installed Java. A file beside it
// named with ".delay" (Ctl.delay) holds a number of milliseconds on its first
// line to wait before starting the runtime, as a launcher on a loaded
// workstation is slow to get there.
//
// Exit codes: 0 started, 2 jre\bin\javaw.exe missing, 3 the start failed.
#include <windows.h>

#include <cstring>

#include "common/unique_resource.h"

namespace {

constexpr int kStarted = 0;
constexpr int kRuntimeMissing = 2;
constexpr int kStartFailed = 3;

constexpr char kRuntimeBelowOwnFolder[] = "jre\\bin\\javaw.exe";

// The test installs lie far inside this; anything longer is refused.
constexpr DWORD kPathCapacity = 1024;

struct KernelHandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer handle) noexcept { CloseHandle(handle); }
};
using UniqueHandle = pellux::UniqueResource<KernelHandleTraits>;

// Reads the first line of the file named own (length characters) with its
// ".exe" replaced by suffix into text; the number of bytes read, 0 when absent.
DWORD ReadBeside(const char* own, DWORD length, const char* suffix, char* text) {
  const std::size_t suffixLength = std::strlen(suffix);
  if (length < 4 || length - 4 + suffixLength + 1 > kPathCapacity) return 0;
  char name[kPathCapacity];
  std::memcpy(name, own, length - 4);
  std::memcpy(name + length - 4, suffix, suffixLength + 1);
  const HANDLE opened = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return 0;
  UniqueHandle file(opened);
  DWORD got = 0;
  if (!ReadFile(file.get(), text, kPathCapacity - 1, &got, nullptr)) return 0;
  DWORD end = 0;
  while (end < got && text[end] != '\r' && text[end] != '\n') ++end;
  text[end] = '\0';
  return end;
}

// The wait asked for in "<own without .exe>.delay", 0 without one.
DWORD DelayNamedBeside(const char* own, DWORD length) {
  char text[kPathCapacity];
  const DWORD got = ReadBeside(own, length, ".delay", text);
  DWORD delay = 0;
  for (DWORD i = 0; i < got && text[i] >= '0' && text[i] <= '9' && delay < 600000; ++i)
    delay = delay * 10 + static_cast<DWORD>(text[i] - '0');
  return delay;
}

// Replaces own (the launcher's path, length characters) with the path on
// the first line of "<own without .exe>.runtime", when that file is there.
bool RuntimeNamedBeside(char* own, DWORD length) {
  char text[kPathCapacity];
  const DWORD got = ReadBeside(own, length, ".runtime", text);
  if (got == 0) return false;
  std::memcpy(own, text, got + 1);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char runtime[kPathCapacity];
  DWORD length = GetModuleFileNameA(nullptr, runtime, kPathCapacity);
  // A buffer that comes back exactly full may have been cut.
  if (length == 0 || length >= kPathCapacity) return kStartFailed;
  const DWORD delay = DelayNamedBeside(runtime, length);
  if (delay != 0) Sleep(delay);

  if (!RuntimeNamedBeside(runtime, length)) {
    char* folderEnd = std::strrchr(runtime, '\\');
    if (folderEnd == nullptr) return kStartFailed;
    std::size_t folderLength = static_cast<std::size_t>(folderEnd - runtime) + 1;
    if (folderLength + sizeof kRuntimeBelowOwnFolder > kPathCapacity) return kStartFailed;
    std::memcpy(runtime + folderLength, kRuntimeBelowOwnFolder, sizeof kRuntimeBelowOwnFolder);
  }

  DWORD attributes = GetFileAttributesA(runtime);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kRuntimeMissing;

  // The path goes in as the application name and, quoted, as the command
  // line: unquoted, "C:\Program Files\..." would let "C:\Program.exe" run.
  constexpr char kJar[] = " -jar Pellux.jar";
  char commandLine[kPathCapacity + 2 + sizeof kJar];
  std::size_t runtimeLength = std::strlen(runtime);
  commandLine[0] = '"';
  std::memcpy(commandLine + 1, runtime, runtimeLength);
  commandLine[runtimeLength + 1] = '"';
  std::memcpy(commandLine + runtimeLength + 2, kJar, sizeof kJar);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(runtime, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return kStartFailed;
  // Nothing waits on the runtime; both handles go at once.
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  return kStarted;
}
