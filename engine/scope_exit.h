// ScopeExit: runs a step on every way out of a scope, a return or an exception alike.
#pragma once

#include <utility>

namespace engine {

// Holds step and calls it once when destroyed. The step must not throw. Neither copied
// nor moved, so the step cannot run twice:
//   const ScopeExit closed([handle] { CloseHandle(handle); });
template <typename Step>
class ScopeExit {
public:
    explicit ScopeExit(Step step) noexcept(noexcept(Step(std::move(step)))) : step_(std::move(step)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { step_(); }

private:
    Step step_;
};

}  // namespace engine
