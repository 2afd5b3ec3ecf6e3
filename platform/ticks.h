#pragma once
// Millisecond tick count and the stopwatch built on it.
#include <cstdint>

namespace dk {

// Milliseconds from an arbitrary origin; wraps after about 49.7 days.
uint32_t TickCount();

// Replaces the tick source (tests drive time by hand); nullptr restores the
// monotonic clock. Set it before any thread that reads ticks starts.
using TickSource = uint32_t (*)();
void SetTickSource(TickSource source);

void SleepMs(uint32_t ms);

// Stopwatch on TickCount. The unsigned difference makes a wrap harmless.
struct TickTimer {
  uint32_t start = 0;
  void Start() { start = TickCount(); }
  uint32_t Elapsed() const { return TickCount() - start; }
  bool Expired(uint32_t limit) const { return Elapsed() >= limit; }
};

}  // namespace dk
