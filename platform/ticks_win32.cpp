// Ticks from QueryPerformanceCounter, sleeps by Sleep.
#include <windows.h>

#include <atomic>

#include "platform/ticks.h"

namespace dk {
namespace {
std::atomic<TickSource> g_source{nullptr};

uint32_t PerformanceTicks() {
  static const LONGLONG freq = [] {
    LARGE_INTEGER f;
    return ::QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1000;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  // Whole seconds and the rest apart, so the product cannot overflow.
  const ULONGLONG c = static_cast<ULONGLONG>(now.QuadPart), f = static_cast<ULONGLONG>(freq);
  return static_cast<uint32_t>((c / f) * 1000u + (c % f) * 1000u / f);
}
}  // namespace

uint32_t TickCount() {
  TickSource s = g_source.load(std::memory_order_acquire);
  return s ? s() : PerformanceTicks();
}

void SetTickSource(TickSource source) { g_source.store(source, std::memory_order_release); }

void SleepMs(uint32_t ms) { ::Sleep(ms); }

}  // namespace dk
