// The inventory run on a simulated segment: 500 devices that all answer, and
// 100 devices of which 20 accept HTTP connections and never answer
// ("http-hang"). Prints the run's wall time, its CPU time (the process, and
// the ping children apart) and how many devices answered, per case.
//
// Run as root in a private network namespace, e.g.
//   unshare --net --mount --fork sh -c 'mount -t tmpfs tmpfs /run/netns; build/bin/inventory_bench'
// It starts one segment per case itself (scripts/segment) and runs the case
// inside; `inventory_bench inner N` is that inner part (one scan, one run).
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_paths.h"
#include "engine/devices/discovery_scan.h"
#include "engine/ops/http_requests.h"
#include "engine/ops/inventory_run.h"

namespace {

double WallMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double CpuMs(int who) {
  rusage u{};
  getrusage(who, &u);
  auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return ms(u.ru_utime) + ms(u.ru_stime);
}

class Collect : public MessageSink {
 public:
  void Post(WorkerMessage m) override {
    if (const auto* rec = std::get_if<DeviceRecord>(&m.payload)) devices.push_back(*rec);
  }
  std::vector<DeviceRecord> devices;
};

int Inner(size_t want) {
  HttpGlobalInit();
  Collect scan;
  dk::StopFlag stop;
  TalqThreadProc(ScanConfig{}, stop, &scan);
  std::printf("  scan: %zu of %zu devices\n", scan.devices.size(), want);
  InventoryConfig cfg;
  cfg.devices = scan.devices;
  const double cpu0 = CpuMs(RUSAGE_SELF), child0 = CpuMs(RUSAGE_CHILDREN), t0 = WallMs();
  std::vector<InventoryResult> results;
  const int32_t answered = InventoryThreadProc(cfg, stop, nullptr, &results);
  const double wall = WallMs() - t0;
  const double cpu = CpuMs(RUSAGE_SELF) - cpu0, child = CpuMs(RUSAGE_CHILDREN) - child0;
  std::printf("  inventory of %zu devices (concurrency %d): %d answered, %zu failed\n", cfg.devices.size(),
              cfg.timings.concurrency, answered, results.size() - static_cast<size_t>(answered));
  std::printf("  wall %.0f ms; CPU %.0f ms in the process, %.0f ms in the ping children\n", wall, cpu, child);
  return 0;
}

int Case(const char* title, const std::string& self, int devices, const char* extra) {
  std::printf("%s\n", title);
  std::fflush(stdout);
  const std::string cmd = dkbench::SegmentScript() + " --quiet --devices " + std::to_string(devices) + " " +
                          extra + " --sim " + dkbench::ToolPath("dravenkit-sim") + " -- " + self + " inner " +
                          std::to_string(devices);
  return std::system(cmd.c_str()) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "inner") == 0) return Inner(static_cast<size_t>(std::atoi(argv[2])));
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  int rc = Case("500 devices, every one answering (goal: under 5 s)", self, 500, "");
  rc |= Case("100 devices, 20 accept and never answer (goal: within 10 s)", self, 100,
             "--fault http-hang=0.2 --seed 21");
  return rc;
}
