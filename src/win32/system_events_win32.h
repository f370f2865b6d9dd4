#pragma once
#include "platform/system_event_log.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

inline constexpr wchar_t kEventSourceName[] = L"PelluxMONITOR";

// The Application log under the source PelluxMONITOR. The source is opened
// once and kept for the run. Windows writes the events whether or not the
// source is registered; registering it (an administrator's step, see
// docs/integrator.md) only lets Event Viewer show the texts of the message table.
class Win32SystemEventLog final : public SystemEventLog {
 public:
  Win32SystemEventLog();
  void Write(EventLevel level, EventId id, const std::vector<std::string>& strings) override;

 private:
  UniqueEventSource source_;
};

}  // namespace pellux::win32
