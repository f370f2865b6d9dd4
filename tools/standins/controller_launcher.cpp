// The controller as its Java launcher behaves: it starts the windowless
// runtime launcher from the folder below its own and exits at once, so the
// controller lives on only as a javaw.exe process. The command line is
// ignored. A file beside it named after it with ".runtime" (Ctl.runtime for
// Ctl.exe) names another runtime by its full path on its first line, as a
// launcher's configuration points at an installed Java.
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

// Replaces own (the launcher's path, length characters) with the path on
// the first line of "<own without .exe>.runtime", when that file is there.
bool RuntimeNamedBeside(char* own, DWORD length) {
  if (length < 4 || length + 5 > kPathCapacity) return false;
  char name[kPathCapacity];
  std::memcpy(name, own, length - 4);
  std::memcpy(name + length - 4, ".runtime", sizeof ".runtime");
  const HANDLE opened = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  UniqueHandle file(opened);
  char text[kPathCapacity];
  DWORD got = 0;
  if (!ReadFile(file.get(), text, kPathCapacity - 1, &got, nullptr) || got == 0) return false;
  DWORD end = 0;
  while (end < got && text[end] != '\r' && text[end] != '\n') ++end;
  std::memcpy(own, text, end);
  own[end] = '\0';
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char runtime[kPathCapacity];
  DWORD length = GetModuleFileNameA(nullptr, runtime, kPathCapacity);
  // A buffer that comes back exactly full may have been cut.
  if (length == 0 || length >= kPathCapacity) return kStartFailed;

  if (!RuntimeNamedBeside(runtime, length)) {
    char* folderEnd = std::strrchr(runtime, '\\');
    if (folderEnd == nullptr) return kStartFailed;
    std::size_t folderLength = static_cast<std::size_t>(folderEnd - runtime) + 1;
    if (folderLength + sizeof kRuntimeBelowOwnFolder > kPathCapacity) return kStartFailed;
    std::memcpy(runtime + folderLength, kRuntimeBelowOwnFolder, sizeof kRuntimeBelowOwnFolder);
  }

  DWORD attributes = GetFileAttributesA(runtime);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return kRuntimeMissing;

  // The path goes in as the application name and, quoted, as the command
  // line: unquoted, "C:\Program Files\..." would let "C:\Program.exe" run.
  char commandLine[kPathCapacity + 2];
  std::size_t runtimeLength = std::strlen(runtime);
  commandLine[0] = '"';
  std::memcpy(commandLine + 1, runtime, runtimeLength);
  commandLine[runtimeLength + 1] = '"';
  commandLine[runtimeLength + 2] = '\0';

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(runtime, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started))
    return kStartFailed;
  // Nothing waits on the runtime; both handles go at once.
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  return kStarted;
}
