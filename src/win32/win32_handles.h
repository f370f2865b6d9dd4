#pragma once
#include <windows.h>

#include "common/unique_resource.h"

namespace pellux::win32 {

// The one place that closes a kernel handle; the process table's Close goes
// through it as well, so CloseHandle is called from here only.
inline bool CloseKernelHandle(HANDLE handle) noexcept { return ::CloseHandle(handle) != FALSE; }

// OpenProcess and CreateProcess give null when they fail.
struct HandleTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer handle) noexcept { (void)CloseKernelHandle(handle); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

// CreateFile gives INVALID_HANDLE_VALUE when it fails, not null.
struct FileTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(pointer handle) noexcept { (void)CloseKernelHandle(handle); }
};
using UniqueFile = UniqueResource<FileTraits>;

template <typename Gdi>
struct GdiObjectTraits {
  using pointer = Gdi;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer object) noexcept { (void)::DeleteObject(object); }
};
using UniqueFont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueResource<GdiObjectTraits<HBRUSH>>;

struct IconTraits {
  using pointer = HICON;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer icon) noexcept { (void)::DestroyIcon(icon); }
};
using UniqueIcon = UniqueResource<IconTraits>;

// RegisterEventSource gives null when it fails.
struct EventSourceTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer source) noexcept { (void)::DeregisterEventSource(source); }
};
using UniqueEventSource = UniqueResource<EventSourceTraits>;

// LoadLibraryEx gives null when it fails.
struct ModuleTraits {
  using pointer = HMODULE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer module) noexcept { (void)::FreeLibrary(module); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// GlobalAlloc gives null when it fails.
struct GlobalTraits {
  using pointer = HGLOBAL;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer memory) noexcept { (void)::GlobalFree(memory); }
};
using UniqueGlobal = UniqueResource<GlobalTraits>;

// RegOpenKeyEx leaves null when it fails.
struct RegistryKeyTraits {
  using pointer = HKEY;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer key) noexcept { (void)::RegCloseKey(key); }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

// RegisterWaitForSingleObject gives null when it fails. The wait is taken
// back blocking (INVALID_HANDLE_VALUE): once Close returns, no callback of it
// runs any more, so what the callback was given may go.
struct WaitTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer wait) noexcept { (void)::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
};
using UniqueWait = UniqueResource<WaitTraits>;

// A COM interface pointer released once.
template <typename Interface>
struct ComTraits {
  using pointer = Interface*;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer object) noexcept { object->Release(); }
};
template <typename Interface>
using UniqueCom = UniqueResource<ComTraits<Interface>>;

// Both handles that CreateProcess returns, closed together.
class UniqueProcessInformation {
 public:
  UniqueProcessInformation() noexcept = default;
  UniqueProcessInformation(const UniqueProcessInformation&) = delete;
  UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
  ~UniqueProcessInformation() {
    UniqueHandle thread(info_.hThread);
    UniqueHandle process(info_.hProcess);
  }

  [[nodiscard]] PROCESS_INFORMATION* put() noexcept { return &info_; }
  [[nodiscard]] DWORD ProcessId() const noexcept { return info_.dwProcessId; }
  [[nodiscard]] HANDLE ProcessHandle() const noexcept { return info_.hProcess; }

 private:
  PROCESS_INFORMATION info_{};
};

// Selects a GDI object into a device context and puts the previous one back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), previous_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  // A failed select gave null (or HGDI_ERROR); nothing to put back then.
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) (void)::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The screen's device context, for reading its resolution.
class ScreenDC {
 public:
  ScreenDC() noexcept : dc_(::GetDC(nullptr)) {}
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  ~ScreenDC() {
    if (dc_ != nullptr) (void)::ReleaseDC(nullptr, dc_);
  }
  [[nodiscard]] HDC get() const noexcept { return dc_; }

 private:
  HDC dc_;
};

}  // namespace pellux::win32
