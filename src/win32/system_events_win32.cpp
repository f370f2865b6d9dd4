#include "win32/system_events_win32.h"

#include <windows.h>

#include <string>
#include <vector>

#include "event_messages.h"  // made by windmc from event_messages.mc
#include "win32/utf_conversion.h"

namespace pellux::win32 {
namespace {

// The ids written are the core's; the message table must carry the same.
#define PELLUX_CHECK_MESSAGE_ID(name, id, symbol, level, strings) \
  static_assert((id) == (symbol), "event_messages.mc disagrees on " #symbol);
PELLUX_SYSTEM_EVENTS(PELLUX_CHECK_MESSAGE_ID)
#undef PELLUX_CHECK_MESSAGE_ID

WORD EventType(EventLevel level) {
  switch (level) {
    case EventLevel::Warning:
      return EVENTLOG_WARNING_TYPE;
    case EventLevel::Error:
      return EVENTLOG_ERROR_TYPE;
    case EventLevel::Information:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

Win32SystemEventLog::Win32SystemEventLog() : source_(::RegisterEventSourceW(nullptr, kEventSourceName)) {}

void Win32SystemEventLog::Write(EventLevel level, EventId id, const std::vector<std::string>& strings) {
  // A source that could not be opened at start (the event log service not
  // up yet) is tried again with every event.
  if (!source_) source_.reset(::RegisterEventSourceW(nullptr, kEventSourceName));
  if (!source_) return;
  std::vector<std::wstring> wide;
  wide.reserve(strings.size());
  // The core's texts are UTF-8 (the program folder may lie outside the ANSI
  // code page): the same converter as for its paths.
  for (const std::string& s : strings) wide.push_back(Utf8ToWide(s));
  std::vector<LPCWSTR> pointers;
  pointers.reserve(wide.size());
  for (const std::wstring& w : wide) pointers.push_back(w.c_str());
  // A full or unavailable log refuses the event; the monitor goes on all the same.
  (void)::ReportEventW(source_.get(), EventType(level), 0, static_cast<DWORD>(id), nullptr,
                       static_cast<WORD>(pointers.size()), 0, pointers.empty() ? nullptr : pointers.data(), nullptr);
}

}  // namespace pellux::win32
