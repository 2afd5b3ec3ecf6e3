// "Ping response" run time: one discovery scan, then every device found
// checked one after another as the window does. Run it on a segment:
//   scripts/segment --devices 250 -- build/bin/ops_ping_bench
// or without one over N copies of 127.0.0.1: ops_ping_bench --loopback N
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/devices/discovery_scan.h"
#include "engine/ops/ping_tools.h"
#include "platform/ticks.h"

namespace {
class Collect : public MessageSink {
 public:
  void Post(WorkerMessage m) override { msgs.push_back(std::move(m)); }
  std::vector<WorkerMessage> msgs;
};
}  // namespace

int main(int argc, char** argv) {
  std::vector<PingTarget> targets;
  dk::StopFlag stop;
  if (argc == 3 && !std::strcmp(argv[1], "--loopback")) {
    targets.resize(static_cast<size_t>(std::atoi(argv[2])));
    for (auto& t : targets) t.ip = IpFromOctets(127, 0, 0, 1);
  } else {
    Collect scan;
    TalqThreadProc(ScanConfig{}, stop, &scan);
    for (const auto& m : scan.msgs) {
      const auto* r = m.id == UM_DEVICE_FOUND ? std::get_if<DeviceRecord>(&m.payload) : nullptr;
      if (!r) continue;
      bool seen = false;
      for (const auto& t : targets) seen = seen || !std::memcmp(t.mac, r->mac, 6);
      if (seen) continue;
      PingTarget t{};
      std::memcpy(t.mac, r->mac, 6);
      t.ip = r->ip;
      targets.push_back(t);
    }
  }
  Collect results;
  dk::TickTimer timer;
  timer.Start();
  PingThreadProc(targets, PingTimings{}, stop, &results);
  uint32_t ms = timer.Elapsed();
  int answered = 0;
  for (const auto& m : results.msgs) answered += m.wparam ? 1 : 0;
  std::printf("ping response: %zu devices, %d answered, %u ms (%.1f ms per device)\n", targets.size(), answered, ms,
              targets.empty() ? 0.0 : double(ms) / double(targets.size()));
  return 0;
}
