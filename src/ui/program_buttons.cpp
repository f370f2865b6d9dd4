#include "ui/program_buttons.h"

#include <limits>
#include <optional>

namespace pellux {
namespace {

struct StripColours {
  Colour back;
  Colour fore;
};

constexpr StripColours kRunningStrip{kGreen, kBlack};
constexpr StripColours kStoppedStrip{kRed, kWhite};
constexpr StripColours kMixedStrip{kMagenta, kBlack};

}  // namespace

std::optional<std::int16_t> PortNumber(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    // Past the 16-bit range already; stop before the sum can overflow.
    if (value > 32768) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;
  return static_cast<std::int16_t>(value);
}

void ProgramButtons::CBPellux_Click() {
  WindowControls& controls = d_.window.Controls();
  d_.log.WriteLogLine(kController.clickLogText);

  std::string message;
  StripColours strip = kStoppedStrip;
  if (controls.ButtonColour(ProgramButton::CBPellux) == kGreen) {
    // No wait between the termination request and the re-check: a process
    // that takes a moment to go is reported as still running.
    d_.processes.Kill_Process(kController.stopName);
    d_.processes.IsProcessRunning(kController.runningCheckName);
    const bool controllerRuns = d_.processes.Found();
    if (controllerRuns) {
      message = kController.stillRunning;
    } else {
      message = kController.stopped;
      controls.SetButtonColour(ProgramButton::CBPellux, kRed);
    }

    d_.processes.Kill_Process(kBridge.stopName);
    d_.processes.IsProcessRunning(kBridge.runningCheckName);
    const bool bridgeRuns = d_.processes.Found();
    message += "\r";
    if (bridgeRuns) {
      message += kBridge.stillRunning;
    } else {
      message += kBridge.stopped;
      controls.SetButtonColour(ProgramButton::CBLINTARO, kRed);
    }

    if (controllerRuns && bridgeRuns) {
      strip = kRunningStrip;
    } else if (controllerRuns || bridgeRuns) {
      strip = kMixedStrip;
    } else {
      strip = kStoppedStrip;
    }

    // An empty field or a number beyond the 16-bit port numbers names no
    // port: the serial port is then left alone and no port is reported closed.
    const std::string portText = controls.PortText();
    if (const std::optional<std::int16_t> port = PortNumber(portText)) {
      d_.serial.SetCommPort(*port);
      d_.serial.SetPortOpen(false);
      message += "\r";
      message += kPortClosedText;
      message += portText;
    }
  } else {
    if (!IsInstalled(d_.files, kController)) {
      MissingExecutableExit(kController, d_.dialogs, d_.log, d_.immediateEnd);
      return;
    }
    d_.processes.IsProcessRunning(kController.runningCheckName);
    if (d_.processes.Found()) {
      message = kController.started;
      strip = kRunningStrip;
      controls.SetButtonColour(ProgramButton::CBPellux, kGreen);
    } else {
      message = kController.notStarted;
      strip = kStoppedStrip;
      controls.SetButtonColour(ProgramButton::CBPellux, kRed);
    }
  }

  d_.window.ShowStatusMessage(message, strip.back, strip.fore);
  d_.log.WriteLogLine(message);
}

void ProgramButtons::CBLINTARO_Click() {
  WindowControls& controls = d_.window.Controls();
  // The field is only a gate here: it must be filled, but its number is not used.
  if (controls.PortText().empty()) {
    d_.dialogs.ShowBox(kPortMissingText, kAppTitle, kBoxPlain);
    if (controls.PortVisible()) controls.FocusPort();
    return;
  }
  d_.log.WriteLogLine(kBridge.clickLogText);

  std::string message;
  StripColours strip = kStoppedStrip;
  if (controls.ButtonColour(ProgramButton::CBLINTARO) == kGreen) {
    d_.processes.Kill_Process(kBridge.stopName);
    d_.processes.IsProcessRunning(kBridge.runningCheckName);
    if (d_.processes.Found()) {
      message = kBridge.stillRunning;
      strip = kRunningStrip;
    } else {
      message = kBridge.stopped;
      strip = kStoppedStrip;
      controls.SetButtonColour(ProgramButton::CBLINTARO, kRed);
    }
  } else {
    if (!IsInstalled(d_.files, kBridge)) {
      MissingExecutableExit(kBridge, d_.dialogs, d_.log, d_.immediateEnd);
      return;
    }
    d_.processes.IsProcessRunning(kBridge.runningCheckName);
    if (d_.processes.Found()) {
      message = kBridge.started;
      strip = kRunningStrip;
      controls.SetButtonColour(ProgramButton::CBLINTARO, kGreen);
    } else {
      message = kBridge.notStarted;
      strip = kStoppedStrip;
      controls.SetButtonColour(ProgramButton::CBLINTARO, kRed);
    }
  }

  d_.window.ShowStatusMessage(message, strip.back, strip.fore);
  d_.log.WriteLogLine(message);
}

}  // namespace pellux
