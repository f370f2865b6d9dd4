#pragma once
#include <functional>

#include "app/dialogs.h"
#include "log/event_log.h"
#include "log/file_system.h"
#include "process/process_services.h"
#include "ui/main_window.h"
#include "ui/serial_port.h"

namespace pellux {

inline constexpr char kPortMissingText[] = "Falta Colocar el Numero de Puerto!!!";
inline constexpr char kPortClosedText[] = "Cerrado el Puerto ";

// The two program buttons: a green button stops its program, a button of any
// other colour re-checks it. The re-check launches nothing.
class ProgramButtons {
 public:
  struct Deps {
    EventLog& log;
    ProcessServices& processes;
    FileSystem& files;
    Dialogs& dialogs;
    MainWindow& window;
    SerialPort& serial;
    std::function<void()> immediateEnd;
  };

  explicit ProgramButtons(Deps deps) : d_(std::move(deps)) {}

  void CBPellux_Click();
  void CBLINTARO_Click();

 private:
  Deps d_;
};

}  // namespace pellux
