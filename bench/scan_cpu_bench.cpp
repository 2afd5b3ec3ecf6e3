// CPU time of one discovery scan window, run inside a simulated segment:
//   scripts/segment --devices 5000 -- build/bin/scan_cpu_bench [scans] [expected]
// Prints per scan: devices found (unique MACs), CPU time of the scan thread,
// wall time; then the median and worst CPU time.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/devices/discovery_scan.h"
#include "engine/talq/talq_client.h"
#include "platform/ticks.h"

namespace {

// Counts replies only: the bench measures the scan, not a consumer.
class CountingSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override {
    if (msg.id != UM_DEVICE_FOUND) return;
    const auto* rec = std::get_if<DeviceRecord>(&msg.payload);
    if (!rec) return;
    uint64_t key = 0;
    for (int i = 0; i < 6; ++i) key = (key << 8) | rec->mac[i];
    keys.push_back(key);
  }
  // Distinct MACs, counted after the scan so the count costs the scan nothing.
  size_t Distinct() {
    std::sort(keys.begin(), keys.end());
    return size_t(std::unique(keys.begin(), keys.end()) - keys.begin());
  }
  std::vector<uint64_t> keys;
};

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int scans = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const long expected = argc > 2 ? std::atol(argv[2]) : 0;
  TalqSetTraceEnabled(false);
  std::vector<double> cpu;
  std::printf("scan  found  replies  cpu_ms  wall_ms  (window %u ms)\n", ScanTimings{}.window_ms);
  for (int i = 0; i < scans; ++i) {
    ScanConfig cfg;  // product window, ports and pacing
    CountingSink sink;
    dk::StopFlag stop;
    dk::TickTimer wall;
    wall.Start();
    const double c0 = ThreadCpuMs();
    TalqThreadProc(cfg, stop, &sink);
    const double c1 = ThreadCpuMs();
    const uint32_t wall_ms = wall.Elapsed();
    cpu.push_back(c1 - c0);
    const size_t replies = sink.keys.size();
    const size_t found = sink.Distinct();
    std::printf("%4d  %5zu  %7zu  %6.2f  %7u\n", i + 1, found, replies, c1 - c0, wall_ms);
    std::fflush(stdout);
    if (expected > 0 && long(found) != expected) std::printf("      found %zu of %ld devices\n", found, expected);
    dk::SleepMs(300);  // let the segment settle between scans
  }
  std::sort(cpu.begin(), cpu.end());
  std::printf("cpu per window: median %.2f ms, worst %.2f ms over %d scans\n", cpu[cpu.size() / 2], cpu.back(),
              scans);
  return 0;
}
