// A generated fleet of 1,000 devices: every one is found, from its own
// address, on both port pairs. Figures (how many one scan finds, how long the
// simulator took) are printed; the speed goals are measured by
// bench/discovery_bench, not asserted here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "tests/segment/segment_support.h"

using namespace segtest;

TEST(SegmentScale, EveryGeneratedDeviceIsFoundOnBothPortPairs) {
  const char* n = std::getenv("DK_SEG_DEVICES");
  ASSERT_NE(n, nullptr);
  const size_t want = std::strtoul(n, nullptr, 10);
  ASSERT_EQ(want, 1000u);
  for (auto ports : {std::pair<uint16_t, uint16_t>{32153, 32154}, {33001, 33000}}) {
    std::map<uint64_t, DeviceRecord> all;
    size_t first = 0;
    for (int scan = 0; scan < 5 && all.size() < want; ++scan) {
      const ScanResult r = Scan(ports.first, ports.second, 500);
      if (scan == 0) first = r.devices.size();
      all.insert(r.devices.begin(), r.devices.end());
    }
    std::printf("port %u: first scan found %zu of %zu\n", ports.second, first, want);
    EXPECT_EQ(all.size(), want);
    std::set<uint32_t> sources;
    for (const auto& [k, rec] : all) sources.insert(rec.ip);
    EXPECT_EQ(sources.size(), want);
  }
  // The simulator answered every request with every device.
  const auto done = EventLines({"\"ev\":\"discovery_done\""});
  ASSERT_FALSE(done.empty());
  for (const auto& l : done) EXPECT_NE(l.find("\"answered\":1000,"), std::string::npos) << l;
}
