#include "process/process_services.h"

namespace pellux {

void ReportError(std::int32_t, const std::string&, const std::string&, const std::string&) {}

// Placeholder until the process walks are written.
void ProcessServices::IsProcessRunning(const std::string&) { ProcessFound_.clear(); }
void ProcessServices::Kill_Process(const std::string&) {}

}  // namespace pellux
