#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/serial_port.h"
#include "process/process_services.h"
#include "programs/programs.h"
#include "ui/main_window.h"

namespace pellux {

inline constexpr char kPortMissingText[] = "Falta Colocar el Numero de Puerto!!!";
inline constexpr char kPortClosedText[] = "Cerrado el Puerto ";

// The port number that the controller's stop closes: the field's text when it
// is an optional sign and digits within -32768..32767 (what the field holds
// once validated), otherwise none.
[[nodiscard]] std::optional<std::int16_t> PortNumber(const std::string& text);

// The strip's line when the controller's stop left running a javaw.exe that
// ControllerMatch could neither confirm nor rule out.
[[nodiscard]] std::string UndecidedText(const SupervisedProgram& program);

// The back and text colours a click hands to the message strip.
struct StripColours {
  Colour back;
  Colour fore;
};

// The two program buttons: a green button stops its program, a button of any
// other colour re-checks it. The re-check launches nothing.
class ProgramButtons {
 public:
  struct Deps {
    EventLog& log;
    SystemEvents& events;
    ProcessServices& processes;
    FileSystem& files;
    Dialogs& dialogs;
    MainWindow& window;
    SerialPort& serial;
    const ProgramTable& programs;
    // The installation was found missing on a re-check: the farewell and the end.
    std::function<void(const SupervisedProgram&)> missingProgram;
    // Whether the monitor of a session supervises there, so that a javaw.exe
    // of that session is its controller; none: every session's counts.
    std::function<bool(SessionId)> supervisedIn;
  };

  explicit ProgramButtons(Deps deps) : d_(std::move(deps)) {}

  void CBPellux_Click();
  void CBLINTARO_Click();

 private:
  // The stop branch for one program: true when it still runs afterwards; the
  // button turns red when it has gone.
  // *leftText (when given) is the strip's line for a program still running.
  bool StopAndLook(const SupervisedProgram& program, std::string* leftText = nullptr);
  // The check branch: the program's installation, then whether it runs. False
  // when the installation is missing and the program has ended.
  bool Check(const SupervisedProgram& program, std::string& message, StripColours& strip);

  Deps d_;
};

}  // namespace pellux
