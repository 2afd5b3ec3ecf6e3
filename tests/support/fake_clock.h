#pragma once
// Drives TickCount by hand for the duration of a test.
#include <cstdint>

class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 0);
  ~FakeClock();  // restores the real clock
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;
  static void Set(uint32_t now);
  static void Advance(uint32_t ms);
  static uint32_t Now();
};
