#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fakes/journal.h"
#include "platform/dialogs.h"

namespace pellux::fakes {

class FakeDialogs final : public Dialogs {
 public:
  struct Box {
    std::string text;
    std::string caption;
    std::uint32_t style;
  };
  explicit FakeDialogs(Journal& journal) : journal_(journal) {}
  void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    boxes.push_back({text, caption, style});
    journal_.push_back("box " + text);
    if (onBox) onBox(boxes.back());
  }
  std::vector<Box> boxes;
  std::function<void(const Box&)> onBox;

 private:
  Journal& journal_;
};

}  // namespace pellux::fakes
