#include "tests/support/wait.h"

#include <chrono>
#include <thread>

namespace dktest {

bool WaitFor(const std::function<bool()>& done, uint32_t limit_ms, uint32_t poll_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return done();
}

}  // namespace dktest
