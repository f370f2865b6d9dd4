#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/accessibility.h"

namespace pellux::fakes {

// What a screen reader would be told: each button's latest name and every
// message announced, in order.
class FakeAccessibility final : public Accessibility {
 public:
  void SetButtonName(ProgramButton b, const std::string& name) override {
    names[b] = name;
    ++nameChanges;
  }
  void AnnounceMessage(const std::string& text) override { announced.push_back(text); }
  std::map<ProgramButton, std::string> names;
  int nameChanges = 0;
  std::vector<std::string> announced;
};

}  // namespace pellux::fakes
