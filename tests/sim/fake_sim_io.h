#pragma once
// A SimIo that records what the simulation asks for, on a hand-driven clock.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_wire.h"
#include "sim/sim_core.h"

struct SentDatagram {
  uint16_t local_port;
  uint32_t src_ip;
  uint16_t dst_port;
  std::vector<uint8_t> data;
  uint64_t at_us;
};

class FakeSimIo : public dksim::SimIo {
 public:
  uint64_t now_us = 1000000;
  std::vector<SentDatagram> sent;
  std::map<uint32_t, int> addresses;  // address -> times added minus times removed
  int ups = 0, downs = 0;

  uint64_t NowUs() override { return now_us; }
  int SendBroadcast(uint16_t local_port, uint32_t src_ip, uint16_t dst_port, const uint8_t* data,
                    size_t len) override {
    sent.push_back(SentDatagram{local_port, src_ip, dst_port, std::vector<uint8_t>(data, data + len), now_us});
    return 0;
  }
  void AddressUp(uint32_t ip) override {
    ++addresses[ip];
    ++ups;
  }
  void AddressDown(uint32_t ip) override {
    if (--addresses[ip] == 0) addresses.erase(ip);
    ++downs;
  }
  bool Has(uint32_t ip) const { return addresses.count(ip) && addresses.at(ip) > 0; }

  // Moves the clock forward in 1 ms steps, running timers as it goes.
  void Advance(dksim::Simulator& sim, uint64_t ms) {
    for (uint64_t i = 0; i < ms; ++i) {
      now_us += 1000;
      sim.RunDue();
    }
  }
  std::vector<SentDatagram> Take() {
    std::vector<SentDatagram> out;
    out.swap(sent);
    return out;
  }
};

inline std::vector<uint8_t> DiscoveryRequest() {
  std::vector<uint8_t> b(16);
  b.resize(static_cast<size_t>(TalqBuildDiscoveryRequest(b.data(), b.size())));
  return b;
}

inline SetNetworkRequest StaticRequest(const uint8_t mac[6], const char* id, const char* pw, uint32_t ip,
                                       uint32_t mask) {
  SetNetworkRequest r{};
  std::memcpy(r.mac, mac, 6);
  r.network_type = 1;
  std::memcpy(r.admin_id, id, std::min(std::strlen(id), sizeof r.admin_id));
  std::memcpy(r.admin_password, pw, std::min(std::strlen(pw), sizeof r.admin_password - 1));
  r.ip = ip;
  r.subnet_mask = mask;
  r.gateway = IpFromOctets(10, 77, 0, 1);
  r.dns_server = IpFromOctets(10, 77, 0, 1);
  return r;
}

inline std::vector<uint8_t> BuildSetNetwork(const SetNetworkRequest& r) {
  std::vector<uint8_t> b(kTalqMaxRequest);
  const int n = TalqBuildSetNetwork(r, 0x4321, b.data(), b.size());
  b.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return b;
}
