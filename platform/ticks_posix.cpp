#include "platform/ticks.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace dk {
namespace {
std::atomic<TickSource> g_source{nullptr};

uint32_t MonotonicTicks() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}
}  // namespace

uint32_t TickCount() {
  TickSource s = g_source.load(std::memory_order_acquire);
  return s ? s() : MonotonicTicks();
}

void SetTickSource(TickSource source) { g_source.store(source, std::memory_order_release); }

void SleepMs(uint32_t ms) {
  timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

}  // namespace dk
