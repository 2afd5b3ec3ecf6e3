#include "tests/support/fake_clock.h"

#include <atomic>

#include "platform/ticks.h"

namespace {
std::atomic<uint32_t> g_now{0};
uint32_t FakeTicks() { return g_now.load(); }
}  // namespace

FakeClock::FakeClock(uint32_t start) {
  g_now = start;
  dk::SetTickSource(&FakeTicks);
}
FakeClock::~FakeClock() { dk::SetTickSource(nullptr); }
void FakeClock::Set(uint32_t now) { g_now = now; }
void FakeClock::Advance(uint32_t ms) { g_now += ms; }
uint32_t FakeClock::Now() { return g_now.load(); }
