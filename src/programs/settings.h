#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "programs/programs.h"

namespace pellux {

inline constexpr char kBuiltInControlFile[] = "D:\\Pellux.stp";
// MAX_PATH less its terminating NUL: no longer path can be tested or launched.
inline constexpr std::size_t kLongestSettingChars = 259;

// The most the live log may hold, in KB, unless LogLimitKB sets it, and the
// least that setting accepts.
inline constexpr std::uint32_t kDefaultLogLimitKB = 65536;
inline constexpr std::uint32_t kLeastLogLimitKB = 64;

// The bridge's windows may go unanswered this long, in seconds, before the
// cycle ends the bridge, when BridgeHungSeconds sets it (0 or absent: never).
inline constexpr std::uint32_t kLeastBridgeHungSeconds = 10;
inline constexpr std::uint32_t kMostBridgeHungSeconds = 3600;

// The values, in the order they are read and reported.
inline constexpr const char* kSettingNames[] = {"ControllerPath", "ControllerProcess", "BridgePath",
                                                "BridgeProcess",  "ControlFile",       "LogFile",
                                                "LogLimitKB",     "BridgeHungSeconds", "ControllerMatch"};

// The key as the texts name it ("HKLM\SOFTWARE\Policies\PelluxMONITOR"); the
// workstation's key read in the 32-bit view is named where it lies
// ("HKLM\SOFTWARE\WOW6432Node\PelluxMONITOR"), which is where regedit shows it.
[[nodiscard]] const char* KeyText(SettingsKey key);

// A value that was set, as it is used (expanded), and where it came from.
struct SetValue {
  std::string name;
  std::string value;
  SettingsKey source;
};

// A value that was set but cannot be used.
struct BadSetting {
  std::string name;
  SettingsKey source;
  std::string reason;  // in the program's language
};

// What start-up works with: the table of the two programs, the control file
// read first (empty: only the one beside the monitor), the log file (empty:
// the one beside the monitor), the log's limit, the text that tells the
// controller apart from other Java programs (empty: none), what was set, and
// the first program value refused (the monitor then starts nothing). A bad
// value of a diagnosis feature (the log, its limit, the control file, the
// hung-bridge check) or of the controller's text turns only that feature off
// and is listed in turnedOff: no log, the built-in limit, the control file's
// built-in places, no check, every process of the controller's running name.
struct Settings {
  ProgramTable programs;
  std::string controlFile;
  std::string logFile;
  bool logOff = false;  // LogFile was bad: no log at all, not even beside the monitor
  std::uint32_t logLimitKB = kDefaultLogLimitKB;
  std::uint32_t bridgeHungSeconds = 0;  // 0: the bridge's windows are not looked at
  std::string controllerMatch;
  std::vector<SetValue> set;
  std::optional<BadSetting> bad;
  std::vector<BadSetting> turnedOff;
};

// Each value from the first key that holds it (machine policy, user policy,
// the user's own key, the workstation's key in the 64-bit view, then in the
// 32-bit view), else its built-in value. A value that is there but bad is
// refused, never replaced by a later key's or the built-in one. A bridge
// path set without a bridge process name is recognised running by its own
// file name.
[[nodiscard]] Settings ReadSettings(SettingsStore& store);

// The box for a refused value: what, where, why, one line each (CR between).
[[nodiscard]] std::string BadSettingBoxText(const BadSetting& bad);
// The same for the log and the event, on one line.
[[nodiscard]] std::string BadSettingLogText(const BadSetting& bad);
// The log line that names a value that was set and its source.
[[nodiscard]] std::string SetValueLogText(const SetValue& value);
// Where each value came from, for the start event: "built-in" when nothing
// was set, else "Name: key" for each value set, joined by "; ".
[[nodiscard]] std::string SourcesText(const Settings& settings);

}  // namespace pellux
