#include "win32/system_info_win32.h"

#include <algorithm>
#include <vector>

#include "win32/path_rules.h"
#include "win32/utf_conversion.h"
#include "win32/version_text.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

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
  const std::string path = SystemLibraryPath(WideToUtf8(folder), name);
  if (path.empty()) return UniqueModule();
  // Its own imports follow the search that WinMain restricted.
  return UniqueModule(::LoadLibraryExW(Utf8ToWide(path).c_str(), nullptr, 0));
}

template <typename Function>
Function* Procedure(const UniqueModule& module, const char* name) {
  // Through void*, as GetProcAddress's own signature fits no function.
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
}

}  // namespace

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
  modulePath_ = WideToUtf8(std::wstring(buffer.data(), std::min<std::size_t>(copied, buffer.size())));
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

  const std::wstring file = Utf8ToWide(path);
  DWORD ignored = 0;
  const DWORD size = infoSize(file.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!info(file.c_str(), 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!query(block.data(), L"\\", &value, &length) || value == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (fixed->dwSignature != VS_FFI_SIGNATURE) return {};
  return VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

std::optional<std::uint32_t> Win32SystemInfo::SessionId() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return std::nullopt;
  return static_cast<std::uint32_t>(session);
}

std::optional<bool> Win32SystemInfo::WindowStationVisible() {
  // The process's window station is the system's own: its handle is never closed.
  const HWINSTA station = ::GetProcessWindowStation();
  if (station == nullptr) return std::nullopt;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return std::nullopt;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace pellux::win32
