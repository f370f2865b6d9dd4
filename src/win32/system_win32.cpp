#include "win32/system_win32.h"

#include <vector>

#include "win32/files_win32.h"
#include "win32/win32_text.h"

namespace pellux::win32 {
namespace {

struct ModuleTraits {
  using pointer = HMODULE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer module) noexcept { (void)::FreeLibrary(module); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// A library that is no KnownDLL, loaded by its name, would be looked for in
// the monitor's own folder first, and that folder is writable (the log and
// the control file live there). So it is loaded from the system folder by
// its full path, on every Windows from 7 on, or not at all.
UniqueModule LoadSystemLibrary(const std::string& name) {
  const UINT size = ::GetSystemDirectoryW(nullptr, 0);  // with the NUL
  if (size == 0) return UniqueModule();
  std::wstring folder(size, L'\0');
  const UINT copied = ::GetSystemDirectoryW(folder.data(), size);
  if (copied == 0 || copied >= size) return UniqueModule();
  folder.resize(copied);
  const std::string path = SystemLibraryPath(Utf8Path(folder), name);
  if (path.empty()) return UniqueModule();
  // Its own imports follow the search that WinMain restricted.
  return UniqueModule(::LoadLibraryExW(WidePath(path).c_str(), nullptr, 0));
}

template <typename Function>
Function* Procedure(const UniqueModule& module, const char* name) {
  // Through void*, as GetProcAddress's own signature fits no function.
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
}

}  // namespace

LocalTime Win32Clock::Now() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::uint64_t Win32Clock::Milliseconds() { return ::GetTickCount64(); }

const std::string& Win32SystemInfo::ModulePath() {
  if (modulePath_) return *modulePath_;
  // The wide call: the folder may lie outside the system code page.
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD copied = 0;
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    copied = ::GetModuleFileNameW(nullptr, buffer.data(), capacity);
    if (copied == 0 || !PathMayBeCut(copied, capacity)) break;
    buffer.resize(buffer.size() * 2);
  }
  modulePath_ = Utf8Path(std::wstring(buffer.data(), std::min<std::size_t>(copied, buffer.size())));
  return *modulePath_;
}

std::string Win32SystemInfo::ProgramFolder() { return SplitModulePath(ModulePath()).folder; }

std::string Win32SystemInfo::ProgramBaseName() { return SplitModulePath(ModulePath()).baseName; }

std::string Win32SystemInfo::FileVersion(const std::string& path) {
  const UniqueModule version = LoadSystemLibrary("version.dll");
  if (!version) return {};
  const auto infoSize = Procedure<decltype(::GetFileVersionInfoSizeW)>(version, "GetFileVersionInfoSizeW");
  const auto info = Procedure<decltype(::GetFileVersionInfoW)>(version, "GetFileVersionInfoW");
  const auto query = Procedure<decltype(::VerQueryValueW)>(version, "VerQueryValueW");
  if (infoSize == nullptr || info == nullptr || query == nullptr) return {};

  const std::wstring file = WidePath(path);
  DWORD ignored = 0;
  const DWORD size = infoSize(file.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!info(file.c_str(), 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!query(block.data(), L"\\", &value, &length) || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (fixed->dwSignature != VS_FFI_SIGNATURE) return {};
  return VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

std::uint32_t Win32Launcher::StartMinimised(const std::string& path,
                                            const std::string& workingFolder) {
  // CreateProcess may write into the command line, so it gets a copy of its own.
  std::string commandLine = QuotedCommandLine(path);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  UniqueProcessInformation started;
  // The programs get the system's default error mode, not our
  // SEM_FAILCRITICALERRORS, and none of our handles.
  if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                        started.put())) {
    return 0;
  }
  return started.ProcessId();
}

void Win32Dialogs::ShowBox(const std::string& text, const std::string& caption,
                           std::uint32_t style) {
  (void)::MessageBoxA(owner_ ? owner_() : nullptr, text.c_str(), caption.c_str(), style);  // OK only
}

void Win32Lifetime::EndNow(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

std::string Win32NumberLocale::DecimalSeparator() {
  char buffer[8] = {};  // LOCALE_SDECIMAL holds at most 4 characters
  const int length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof(buffer));
  if (length <= 1) return ".";  // unreadable settings: the invariant separator
  return std::string(buffer, static_cast<std::size_t>(length - 1));
}

void Win32SerialPort::SetPortOpen(bool open) {
  // Only closing is ever asked for; closing a port that is not open does nothing.
  if (!open) handle_.reset();
}

}  // namespace pellux::win32
