#pragma once
// Devices on loopback for the tests of the tool's side: requests are parsed
// and replies built with the simulator's own codec (sim/sim_wire), so the
// tests and the simulator agree on every byte.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "sim/sim_device.h"

namespace dktest {

// MAC 00:1C:63:10:20:<mac_last>, configured at 192.168.1.<mac_last>/24,
// web port 80, AV port 554.
dksim::SimDeviceConfig TestDevice(uint8_t mac_last, const std::string& model = "NVT-1000");
// d's discovery reply as the simulator builds it.
std::vector<uint8_t> DiscoveryReply(const dksim::SimDeviceConfig& d);

class FakeTalqDevices {
 public:
  struct Device {
    dksim::SimDeviceConfig cfg;
    uint32_t reply_from = 0;                  // source of its replies; 0: 127.0.0.1
    std::function<bool()> answers_discovery;  // asked per request; empty: always
    int set_network_result = -1;              // answer to set-network for its MAC; -1: silent
  };
  // Listens on 127.0.0.1:port, for life_ms at most.
  FakeTalqDevices(uint16_t port, std::vector<Device> devices, uint32_t life_ms = 20000);
  ~FakeTalqDevices();
  FakeTalqDevices(const FakeTalqDevices&) = delete;
  FakeTalqDevices& operator=(const FakeTalqDevices&) = delete;

  bool ok() const { return ok_; }
  int discovery_requests() const { return discovery_.load(); }
  // The set-network requests received (for any MAC), as sent.
  std::vector<std::vector<uint8_t>> SetNetworkRequests() const;

 private:
  void Run(uint32_t life_ms);
  int SenderFor(uint32_t ip) const;

  std::vector<Device> devices_;
  int sock_ = -1;
  std::vector<std::pair<uint32_t, int>> senders_;  // reply_from -> socket bound to it
  bool ok_ = false;
  std::atomic<int> discovery_{0};
  mutable std::mutex mu_;
  std::vector<std::vector<uint8_t>> set_network_;
  dk::StopFlag stop_;
  std::thread thread_;
};

}  // namespace dktest
