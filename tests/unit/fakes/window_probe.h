#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "platform/window_probe.h"

namespace pellux::fakes {

// The top-level windows of the processes, and whether each answers and shows;
// a process not listed has none.
class FakeWindowProbe final : public WindowProbe {
 public:
  void Look(std::int32_t processId, std::vector<TopLevelWindow>& out) override {
    ++looks;
    out.clear();
    if (const auto it = listed.find(processId); it != listed.end()) out = it->second;
    if (const auto it = windows.find(processId); it != windows.end())
      for (std::uint32_t i = 0; i < it->second.windows; ++i)
        out.push_back({Handle(processId, i), true, i < it->second.answering});
    for (TopLevelWindow& window : out) {
      if (ghosted.count(window.handle) != 0) window.visible = false;
      // Window ghosting, "a Windows Manager feature that lets the user
      // minimize, move, or close the main window of an application that is
      // not responding" (learn.microsoft.com/en-us/windows/win32/api/winuser/
      // nf-winuser-disableprocesswindowsghosting): once the window has not
      // answered for about five seconds the system hides it and shows a ghost
      // window of its own in its place, until it answers again.
      if (!ghosts) continue;
      if (window.answering) {
        ghosted.erase(window.handle);
      } else {
        ghosted.insert(window.handle);  // this look still saw it: hidden from the next on
      }
    }
  }
  static std::uint64_t Handle(std::int32_t processId, std::uint32_t i) {
    return (static_cast<std::uint64_t>(processId) << 8) + i + 1;
  }
  // A process's windows: how many it shows, and how many of them (the first ones) answer.
  struct Shown {
    std::uint32_t windows = 0;
    std::uint32_t answering = 0;
  };
  std::map<std::int32_t, Shown> windows;
  std::map<std::int32_t, std::vector<TopLevelWindow>> listed;  // windows given one by one, before those above
  bool ghosts = false;              // a window reported not answering is hidden behind a ghost until it answers
  std::set<std::uint64_t> ghosted;  // the windows hidden behind a ghost
  int looks = 0;
};

}  // namespace pellux::fakes
