#pragma once
// Waiting for an event with a wall-clock deadline (the steady clock: tests
// may replace the tick source the product reads).
#include <cstdint>
#include <functional>

namespace dktest {

// Polls done every poll_ms until it is true (returns true) or limit_ms have
// passed (returns done() once more).
bool WaitFor(const std::function<bool()>& done, uint32_t limit_ms, uint32_t poll_ms = 10);

}  // namespace dktest
