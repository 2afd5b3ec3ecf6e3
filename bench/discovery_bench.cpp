// One 500 ms discovery scan with the tool's TALQ client against 1,000 and
// 5,000 simulated devices. Prints devices found out of devices simulated,
// the client's CPU time for the scan (the plain client loop with 1 us waits,
// then the product's scan thread), the segment's set-up time and how the
// simulator kept to its reply spread.
//
// Run as root in a private network namespace, e.g.
//   unshare --net --mount --fork sh -c 'mount -t tmpfs tmpfs /run/netns; build/bin/discovery_bench'
// It starts a segment per fleet size itself (scripts/segment) and runs its
// scans inside; `discovery_bench 1000 5000 20000` picks other sizes, a size
// written 2x2500 puts the PC on two adapters with 2,500 devices behind each
// (requests leave through both), and DK_BENCH_SCANS sets the number of scans
// per size (default 3).
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_paths.h"
#include "engine/devices/discovery_scan.h"
#include "engine/talq/talq_client.h"
#include "engine/update/worker_messages.h"
#include "platform/ticks.h"

namespace {

double ThreadCpuMs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double WallMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct ScanFigures {
  size_t found = 0;
  int failures = 0;
  double cpu_ms = 0;
  double wall_ms = 0;
};

// The scan thread's loop: one broadcast, then near-zero waits until 500 ms.
ScanFigures OneScan() {
  ScanFigures f;
  std::set<uint64_t> macs;
  const double cpu0 = ThreadCpuMs(), wall0 = WallMs();
  TalqClient c;
  if (TALQCLIENT_OpenPorts(&c, kTalqBindPort, kTalqDestPort) == 0) {
    dk::TickTimer t;
    t.Start();
    c.Broadcast(&c);
    while (!t.Expired(500)) {
      if (c.Wait(&c, 0, 1) <= 0) continue;
      if (c.RecvDiscovery(&c) > 0) {
        uint64_t k = 0;
        for (int i = 0; i < 6; ++i) k = (k << 8) | c.parse.mac[i];
        macs.insert(k);
      } else {
        ++f.failures;
      }
    }
  }
  c.Close(&c.socket);
  f.cpu_ms = ThreadCpuMs() - cpu0;
  f.wall_ms = WallMs() - wall0;
  f.found = macs.size();
  return f;
}

// Counts distinct devices the product's scan thread reports.
class CountingSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override {
    if (msg.id != UM_DEVICE_FOUND) return;
    if (const DeviceRecord* r = std::get_if<DeviceRecord>(&msg.payload)) {
      uint64_t k = 0;
      for (int i = 0; i < 6; ++i) k = (k << 8) | r->mac[i];
      macs.insert(k);
    }
  }
  std::set<uint64_t> macs;
};

// The product's scan (TalqThreadProc) on this thread, for comparison.
ScanFigures ProductScan() {
  ScanFigures f;
  CountingSink sink;
  dk::StopFlag stop;
  const double cpu0 = ThreadCpuMs(), wall0 = WallMs();
  TalqThreadProc(ScanConfig{}, stop, &sink);
  f.cpu_ms = ThreadCpuMs() - cpu0;
  f.wall_ms = WallMs() - wall0;
  f.found = sink.macs.size();
  return f;
}

std::vector<std::string> LogLines(const char* path, const char* event) {
  std::vector<std::string> out;
  if (!path) return out;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line))
    if (line.find(std::string("\"ev\":\"") + event + "\"") != std::string::npos) out.push_back(line);
  return out;
}

long Field(const std::string& line, const char* key) {
  const std::string k = std::string("\"") + key + "\":";
  const size_t p = line.find(k);
  return p == std::string::npos ? -1 : std::strtol(line.c_str() + p + k.size(), nullptr, 10);
}

int Inside() {
  const char* second = std::getenv("DK_SEG_DEVICES2");
  const long devices =
      std::strtol(std::getenv("DK_SEG_DEVICES"), nullptr, 10) + (second ? std::strtol(second, nullptr, 10) : 0);
  if (second) std::printf("two adapters, %s + %s devices (simulator figures: first segment)\n",
                          std::getenv("DK_SEG_DEVICES"), second);
  const char* setup = std::getenv("DK_SEG_SETUP_MS");
  const char* log = std::getenv("DK_SEG_EVENT_LOG");
  const char* scans_env = std::getenv("DK_BENCH_SCANS");
  const int scans = scans_env ? std::max(1, std::atoi(scans_env)) : 3;
  const auto ready = LogLines(log, "ready");
  std::printf("%ld devices: segment set-up %s ms (simulator start to ready %ld ms)\n", devices, setup ? setup : "?",
              ready.empty() ? -1L : Field(ready[0], "setup_ms"));
  std::vector<double> cpu;
  for (int i = 0; i < scans; ++i) {
    const size_t before = LogLines(log, "discovery_done").size();
    const ScanFigures f = OneScan();
    dk::SleepMs(300);  // the simulator's summary of this request
    const auto done = LogLines(log, "discovery_done");
    std::printf("  scan %d: found %zu/%ld, client CPU %.2f ms, wall %.0f ms, failed receives %d", i + 1, f.found,
                devices, f.cpu_ms, f.wall_ms, f.failures);
    if (done.size() > before)
      std::printf("; simulator answered %ld, last reply %ld ms after the request, worst lateness %.2f ms",
                  Field(done.back(), "answered"), Field(done.back(), "span_ms"),
                  double(Field(done.back(), "max_late_us")) / 1000.0);
    std::printf("\n");
    cpu.push_back(f.cpu_ms);
  }
  std::sort(cpu.begin(), cpu.end());
  std::printf("  client CPU per scan: median %.2f ms, worst %.2f ms\n", cpu[cpu.size() / 2], cpu.back());
  for (int i = 0; i < scans; ++i) {
    const ScanFigures f = ProductScan();
    std::printf("  product scan thread %d: found %zu/%ld, CPU %.2f ms (%.1f %% of the wall time), wall %.0f ms\n",
                i + 1, f.found, devices, f.cpu_ms, 100.0 * f.cpu_ms / f.wall_ms, f.wall_ms);
    dk::SleepMs(300);
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("DK_SEG_DEVICES")) return Inside();
  std::vector<std::string> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(argv[i]);
  if (sizes.empty()) sizes = {"1000", "5000"};
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = 0;
  int status = 0;
  for (const std::string& layout : sizes) {
    // "N", or "2xN": two adapters with N devices each.
    const bool two = layout.rfind("2x", 0) == 0;
    const long size = std::strtol(layout.c_str() + (two ? 2 : 0), nullptr, 10);
    if (size <= 0) continue;
    char log[64];
    std::snprintf(log, sizeof log, "/tmp/discovery_bench.%d.events", static_cast<int>(getpid()));
    const std::string cmd = "'" + dkbench::SegmentScript() + "' --quiet --sim '" +
                            dkbench::ToolPath("dravenkit-sim") + "' --devices " + std::to_string(size) +
                            (two ? " --second-devices " + std::to_string(size) : std::string()) +
                            " --log-discovery summary --event-log " + log +
                            " -- '" + self + "'";
    const int rc = std::system(cmd.c_str());
    std::remove(log);
    if (rc != 0) {
      std::fprintf(stderr, "discovery_bench: segment of %s devices failed (%d)\n", layout.c_str(), rc);
      status = 1;
    }
  }
  return status;
}
