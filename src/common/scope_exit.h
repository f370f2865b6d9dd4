#pragma once
#include <utility>

namespace pellux {

// Runs a step when the enclosing scope is left by any path, an exception
// included: what must be undone or re-armed whatever happened in between.
// The step must not throw.
template <typename Step>
class ScopeExit {
 public:
  explicit ScopeExit(Step step) noexcept : step_(std::move(step)) {}
  ~ScopeExit() { step_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Step step_;
};

}  // namespace pellux
