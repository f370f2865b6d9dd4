#include "supervision/control_file.h"

#include "tray/tray_icon.h"

namespace pellux {

// Placeholder until the control file is read.
std::vector<std::string> ReadFirstTwoFields(std::string_view) { return {}; }

ControlOutcome EvaluateControlFile(FileSystem&, const std::string&, const std::string& appVersion) {
  return {false, 0, VersionTip(appVersion)};
}

}  // namespace pellux
