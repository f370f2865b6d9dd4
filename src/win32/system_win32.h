#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/launcher.h"
#include "platform/lifetime.h"
#include "platform/number_locale.h"
#include "platform/serial_port.h"
#include "platform/system_info.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

class Win32Clock final : public Clock {
 public:
  [[nodiscard]] LocalTime Now() override;
  [[nodiscard]] std::uint64_t Milliseconds() override;
};

class Win32SystemInfo final : public SystemInfo {
 public:
  [[nodiscard]] std::string ProgramFolder() override;
  [[nodiscard]] std::string ProgramBaseName() override;
  [[nodiscard]] std::string FileVersion(const std::string& path) override;

 private:
  // The running executable's full path, read once.
  const std::string& ModulePath();
  std::optional<std::string> modulePath_;
};

class Win32Launcher final : public Launcher {
 public:
  [[nodiscard]] std::uint32_t StartMinimised(const std::string& path,
                                             const std::string& workingFolder) override;
};

// Message boxes owned by the main window once it exists.
class Win32Dialogs final : public Dialogs {
 public:
  explicit Win32Dialogs(std::function<HWND()> owner) : owner_(std::move(owner)) {}
  void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override;

 private:
  std::function<HWND()> owner_;
};

class Win32Lifetime final : public Lifetime {
 public:
  [[noreturn]] void EndNow(int exitCode) override;
};

class Win32NumberLocale final : public NumberLocale {
 public:
  [[nodiscard]] std::string DecimalSeparator() override;
};

// Stands where the comm control stood: it keeps the port number and closes
// the port when asked. Nothing in the program ever opens it.
class Win32SerialPort final : public SerialPort {
 public:
  void SetCommPort(std::int16_t port) override { port_ = port; }
  void SetPortOpen(bool open) override;
  [[nodiscard]] std::int16_t CommPort() const { return port_; }

 private:
  std::int16_t port_ = 1;  // the comm control's default
  UniqueFile handle_;
};

}  // namespace pellux::win32
