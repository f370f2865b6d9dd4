#include "ui/program_buttons.h"

#include <limits>
#include <optional>

namespace pellux {
namespace {

constexpr StripColours kRunningStrip{kGreen, kBlack};
constexpr StripColours kStoppedStrip{kRed, kWhite};
constexpr StripColours kMixedStrip{kMagenta, kBlack};
constexpr StripColours kOtherSessionStrip{kAmber, kBlack};

}  // namespace

std::string UndecidedText(const SupervisedProgram& program) {
  return "El Programa '" + program.exeName + "' NO se Detuvo: NO se Pudo Leer su Linea de Comandos!!!";
}

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
  if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;
  return static_cast<std::int16_t>(value);
}

bool ProgramButtons::StopAndLook(const SupervisedProgram& program, std::string* leftText) {
  // No wait between the termination request and the re-check: a process
  // that takes a moment to go is reported as still running.
  const KillOutcome killed = d_.processes.Kill_Process(program.stopName);
  d_.processes.IsProcessRunning(program.runningCheckName);
  const bool runs = d_.processes.Found();
  if (!runs) d_.window.Controls().SetButtonColour(program.button, kRed);
  d_.events.ButtonStop(program, killed.processId, runs);
  // A Java the text could not tell apart was left running: the strip says
  // why, rather than that the stop failed.
  if (leftText != nullptr) *leftText = d_.processes.FoundUndecided() ? UndecidedText(program) : program.stillRunning;
  return runs;
}

bool ProgramButtons::Check(const SupervisedProgram& program, std::string& message, StripColours& strip) {
  if (!IsInstalled(d_.files, program)) {
    d_.events.ProgramMissing(program);
    d_.missingProgram(program);
    return false;
  }
  // The check only looks; it never launches.
  d_.processes.IsProcessRunning(program.runningCheckName);
  const bool runs = d_.processes.Found();
  message = runs ? program.started : program.notStarted;
  strip = runs ? kRunningStrip : kStoppedStrip;
  Colour button = runs ? kGreen : kRed;
  // Not here, yet running on the workstation: another session's, which this
  // monitor leaves alone, and whose button a click keeps amber. Another
  // session's javaw.exe is its controller only where its monitor supervises.
  if (!runs) {
    const bool controller = program.button == d_.programs.controller.button;
    if (const std::optional<SessionId> other = d_.processes.OtherSessionRunning(
            program.runningCheckName, controller ? d_.supervisedIn : std::function<bool(SessionId)>())) {
      message = OtherSessionText(program.runningCheckName, *other);
      strip = kOtherSessionStrip;
      button = kAmber;
    }
  }
  d_.window.Controls().SetButtonColour(program.button, button);
  d_.events.ButtonCheck(program, runs);
  return true;
}

void ProgramButtons::CBPellux_Click() {
  WindowControls& controls = d_.window.Controls();
  d_.log.WriteLogLine(d_.programs.controller.clickLogText);

  std::string message;
  StripColours strip = kStoppedStrip;
  if (controls.ButtonColour(ProgramButton::CBPellux) == kGreen) {
    std::string stillRunning;
    const bool controllerRuns = StopAndLook(d_.programs.controller, &stillRunning);
    message = controllerRuns ? stillRunning : d_.programs.controller.stopped;
    const bool bridgeRuns = StopAndLook(d_.programs.bridge);
    message += "\r";
    message += bridgeRuns ? d_.programs.bridge.stillRunning : d_.programs.bridge.stopped;

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
      const std::string closed = kPortClosedText + portText;
      message += "\r";
      message += closed;
      d_.events.SerialPortClosed(closed, portText);
    }
  } else if (!Check(d_.programs.controller, message, strip)) {
    return;
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
  d_.log.WriteLogLine(d_.programs.bridge.clickLogText);

  std::string message;
  StripColours strip = kStoppedStrip;
  if (controls.ButtonColour(ProgramButton::CBLINTARO) == kGreen) {
    const bool runs = StopAndLook(d_.programs.bridge);
    message = runs ? d_.programs.bridge.stillRunning : d_.programs.bridge.stopped;
    strip = runs ? kRunningStrip : kStoppedStrip;
  } else if (!Check(d_.programs.bridge, message, strip)) {
    return;
  }

  d_.window.ShowStatusMessage(message, strip.back, strip.fore);
  d_.log.WriteLogLine(message);
}

}  // namespace pellux
