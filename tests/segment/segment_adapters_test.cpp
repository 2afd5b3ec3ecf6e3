// Runs in a segment whose PC side has no route for 255.255.255.255, or whose
// PC has a second adapter on a segment of its own (DK_SEG_DEVICES2): one scan
// still hears every device, and a set-network by MAC reaches a device behind
// either adapter.
#include <gtest/gtest.h>

#include <cstdlib>

#include "sim/sim_fleet.h"
#include "tests/segment/segment_support.h"

using namespace segtest;
using dksim::SimDeviceConfig;

namespace {

int EnvCount(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : 0;
}

// The generated fleets of both segments, as scripts/segment makes them.
std::vector<SimDeviceConfig> Expected(std::vector<SimDeviceConfig>* second) {
  std::vector<SimDeviceConfig> first = dksim::GenerateFleet(EnvCount("DK_SEG_DEVICES"), dksim::FleetDefaults());
  dksim::FleetDefaults def2;
  def2.base_ip = IpFromOctets(10, 78, 1, 1);
  def2.gateway = def2.dns = IpFromOctets(10, 78, 0, 1);
  second->clear();
  for (int i = 0; i < EnvCount("DK_SEG_DEVICES2"); ++i) {
    SimDeviceConfig d = dksim::GenerateDevice(i, def2);
    d.mac[2] = 0x4C;
    second->push_back(d);
  }
  return first;
}

TEST(SegmentAdapters, OneScanHearsEveryDeviceOfEverySegment) {
  std::vector<SimDeviceConfig> second;
  std::vector<SimDeviceConfig> all = Expected(&second);
  ASSERT_FALSE(all.empty());
  all.insert(all.end(), second.begin(), second.end());
  const ScanResult r = Scan(32153, 32154, 500);
  EXPECT_TRUE(r.failures.empty());
  EXPECT_EQ(r.devices.size(), all.size());
  for (const auto& d : all) {
    auto it = r.devices.find(MacKey(d.mac));
    ASSERT_NE(it, r.devices.end()) << MacText(d.mac);
    EXPECT_EQ(RecordDiff(it->second, ExpectedRecord(d)), "") << MacText(d.mac);
  }
  // A device behind one adapter hears one request and answers once.
  for (const auto& [mac, n] : r.replies_per_mac) EXPECT_EQ(n, 1);
}

TEST(SegmentAdapters, SetNetworkByMacReachesADeviceBehindTheLastAdapter) {
  std::vector<SimDeviceConfig> second;
  const std::vector<SimDeviceConfig> first = Expected(&second);
  const bool two = !second.empty();
  const SimDeviceConfig& d = two ? second.at(3) : first.at(3);
  const uint32_t target = two ? IpFromOctets(10, 78, 99, 3) : IpFromOctets(10, 77, 99, 3);
  ASSERT_EQ(SetNetwork(StaticRequestFor(d, "root", "tulp", target, IpFromOctets(255, 255, 0, 0))), 0);
  DeviceRecord rec;
  ASSERT_TRUE(WaitForDevice(d.mac, target, 5000, &rec));
  EXPECT_EQ(rec.configured_ip, target);
}

}  // namespace
