#pragma once

#include "platform/workstation_claim.h"

namespace pellux::fakes {

// The workstation's claim to launch. free: no other session's monitor holds
// it; a test clears it to stand for a monitor launching in another session.
class FakeWorkstationClaim final : public WorkstationClaim {
 public:
  bool Take() override {
    ++takes;
    if (free) held = true;
    return free;
  }
  bool TakenElsewhere() override { return !free; }
  void Release() override {
    if (held) ++releases;
    held = false;
  }
  bool free = true;
  bool held = false;
  int takes = 0;
  int releases = 0;
};

}  // namespace pellux::fakes
