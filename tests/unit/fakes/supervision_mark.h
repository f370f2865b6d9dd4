#pragma once
#include <set>

#include "platform/supervision_mark.h"

namespace pellux::fakes {

// Each session's mark of a supervising monitor. elsewhere: the sessions whose
// monitors hold theirs; held: this monitor's own.
class FakeSupervisionMark final : public SupervisionMark {
 public:
  bool Hold() override {
    if (!held) ++holds;
    held = true;
    elsewhere.insert(takenMeanwhile.begin(), takenMeanwhile.end());
    return true;
  }
  void Drop() override { held = false; }
  bool HeldIn(SessionId session) override { return elsewhere.count(session) != 0; }
  std::set<SessionId> elsewhere;
  // Their monitors take their marks between this monitor's look and its own
  // taking, as two monitors that start together may.
  std::set<SessionId> takenMeanwhile;
  bool held = false;
  int holds = 0;
};

}  // namespace pellux::fakes
