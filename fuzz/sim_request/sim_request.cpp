// Datagrams as the simulated devices receive them: the request parser alone,
// then a small fleet handling the datagram and every timer it schedules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/sim_core.h"
#include "sim/sim_wire.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}

class NullIo : public dksim::SimIo {
 public:
  uint64_t now = 1;
  uint64_t NowUs() override { return now; }
  int SendBroadcast(uint16_t, uint32_t, uint16_t, const uint8_t* data, size_t len) override {
    Check(len <= dksim::kMaxReply);
    Check(len < 8 || (data[0] == 'T' || len < 65));  // replies, or the garbage fault's junk
    return 0;
  }
  void AddressUp(uint32_t ip) override { Check(ip != 0); }
  void AddressDown(uint32_t) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dksim::ParsedRequest r;
  const int rc = dksim::ParseRequest(data, size, &r);
  Check(rc <= 0);
  if (rc == 0) Check(r.password_len >= 0 && r.password_len <= 16);

  static std::vector<dksim::SimDeviceConfig> fleet = [] {
    auto f = dksim::GenerateFleet(4, dksim::FleetDefaults());
    f[1].faults = dksim::kFaultGarbage | dksim::kFaultBadLength;
    f[2].faults = dksim::kFaultMoveSilent;
    // The first seeds address this device by MAC with the default credentials.
    return f;
  }();
  NullIo io;
  dksim::SimOptions opt;
  opt.timings.move_delay_ms = 1;
  dksim::Simulator sim(fleet, opt, &io, nullptr);
  sim.Start();
  sim.OnDatagram(32154, 0x0100000A, 32153, 0xFFFFFFFFu, data, size);
  for (int i = 0; i < 300 && sim.timers().size() > 0; ++i) {
    io.now += 1000;
    sim.RunDue();
  }
  sim.Stop();
  return 0;
}
