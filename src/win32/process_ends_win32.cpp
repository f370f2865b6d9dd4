#include "win32/process_ends_win32.h"

#include <utility>

namespace pellux::win32 {

namespace {

// On a thread of the system's pool: the post is all it does.
void CALLBACK PostEnd(PVOID context, BOOLEAN /*timedOut*/) {
  const auto* target = static_cast<const Win32ProcessEnds::Target*>(context);
  // Lost only when the queue is full or the window has gone: the next cycle sees the end.
  (void)::PostMessageW(target->window, target->message, 0, 0);
}

}  // namespace

Win32ProcessEnds::~Win32ProcessEnds() { watched_.clear(); }

bool Win32ProcessEnds::Watch(std::int32_t id, std::uint64_t created) {
  if (watched_.count(id) != 0) return true;
  const HWND window = window_();
  if (window == nullptr || id <= 0) return false;
  Watched w;
  // The least right that tells an end: the handle can do nothing to the process.
  w.process.reset(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
  if (!w.process) return false;
  if (created != 0) {
    // While the handle above is open the id cannot go to another process, so
    // a second open by id that finds the creation time watched proves that
    // the handle is on that very process.
    const UniqueHandle query(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id)));
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!query || !::GetProcessTimes(query.get(), &creation, &exit, &kernel, &user)) return false;
    if (((static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime) != created) return false;
  }
  w.target = std::make_unique<Target>(Target{window, message_});
  HANDLE wait = nullptr;
  if (!::RegisterWaitForSingleObject(&wait, w.process.get(), PostEnd, w.target.get(), INFINITE,
                                     WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD))
    return false;
  w.wait.reset(wait);
  watched_.emplace(id, std::move(w));
  return true;
}

void Win32ProcessEnds::Forget(std::int32_t id) { watched_.erase(id); }

bool Win32ProcessEnds::Ended(std::int32_t id) {
  const auto it = watched_.find(id);
  return it != watched_.end() && ::WaitForSingleObject(it->second.process.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace pellux::win32
