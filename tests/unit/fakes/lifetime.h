#pragma once

#include "fakes/journal.h"
#include "platform/lifetime.h"

namespace pellux::fakes {

class FakeLifetime final : public Lifetime {
 public:
  explicit FakeLifetime(Journal& journal) : journal_(journal) {}
  void EndNow(int code) override {
    ++ends;
    exitCode = code;
    journal_.push_back("end");
  }
  void LeaveSession() override {
    ++leaves;
    if (ends == 0) ++leavesBeforeEnd;
  }
  int leaves = 0;
  int leavesBeforeEnd = 0;
  int ends = 0;
  int exitCode = -1;

 private:
  Journal& journal_;
};

}  // namespace pellux::fakes
