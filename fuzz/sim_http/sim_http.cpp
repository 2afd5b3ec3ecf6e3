// Bytes as a simulated device's web server receives them on one connection,
// cut into pieces anywhere; each device of a small fleet has another fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/sim_core.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}

class NullIo : public dksim::SimIo {
 public:
  uint64_t now = 1;
  uint64_t NowUs() override { return now; }
  int SendBroadcast(uint16_t, uint32_t, uint16_t, const uint8_t*, size_t) override { return 0; }
  void AddressUp(uint32_t) override {}
  void AddressDown(uint32_t) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // First byte: piece size (1-128), which device (fault), whether the peer closes.
  if (size == 0) return 0;
  const size_t piece = (data[0] & 0x7F) + 1;
  const bool close = data[0] & 0x80;
  static std::vector<dksim::SimDeviceConfig> fleet = [] {
    auto f = dksim::GenerateFleet(4, dksim::FleetDefaults());
    f[1].faults = dksim::kFaultHttpSplit;
    f[2].faults = dksim::kFaultUploadCut;
    f[3].faults = dksim::kFaultHttpHang;
    return f;
  }();
  const int dev = size > 1 ? data[1] % 4 : 0;
  NullIo io;
  dksim::Simulator sim(fleet, dksim::SimOptions(), &io, nullptr);
  sim.Start();
  dksim::ConnInfo c;
  c.local_ip = fleet[static_cast<size_t>(dev)].ip;
  c.local_port = 80;
  dksim::HttpSession s(&sim, dev, c);
  size_t out_bytes = 0;
  for (size_t i = 1; i < size; i += piece) {
    s.OnBytes(data + i, std::min(piece, size - i));
    for (const auto& o : s.out()) out_bytes += o.bytes.size();
    s.out().clear();
    Check(out_bytes < 4096);  // one reply (and a 100 Continue) at most, whatever came in
  }
  if (close) s.OnPeerClosed();
  for (int i = 0; i < 100 && sim.timers().size() > 0; ++i) {
    io.now += 200000;
    sim.RunDue();
  }
  return 0;
}
