// The inventory run on a simulated segment: 5,000 and 500 devices that all
// answer (pinged through an ICMP socket; the 500 also through the system
// ping, as before), and 100 devices of which 20 accept HTTP connections and
// never answer ("http-hang"). Prints the run's wall time, its CPU time (the
// process, and the ping children apart) and how many devices answered, per
// case; for 5,000 also one pass of the ping check alone.
//
// Run as root in a private network namespace, e.g.
//   unshare --net --mount --fork sh -c 'mount -t tmpfs tmpfs /run/netns; build/bin/inventory_bench'
// It starts one segment per case itself (scripts/segment) and runs the case
// inside; `inventory_bench inner N [system-ping]` is that inner part (one
// scan, one run).
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
#include "engine/ops/inventory_ping.h"
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

// The kernel's neighbour table holds 1024 entries by default
// (net.ipv4.neigh.default.gc_thresh3, one table for every namespace), so a
// segment of more devices than that cannot all be reached by address: each
// device address gets a permanent entry (those do not count) naming the
// devices' side of the pair. A site host with that many devices raises
// gc_thresh3 instead.
void PinNeighbours(const std::vector<DeviceRecord>& devices) {
  const char* devns = std::getenv("DK_SEG_DEV_NS");
  const char* pcif = std::getenv("DK_SEG_PC_IF");
  if (!devns || !pcif) return;
  const std::string mac_cmd = std::string("ip -n ") + devns + " -o link show dkdev0 | sed -n 's/.*link\\/ether \\([0-9a-f:]*\\).*/\\1/p'";
  FILE* p = popen(mac_cmd.c_str(), "r");
  char mac[64] = "";
  if (!p) return;
  if (!std::fgets(mac, sizeof mac, p)) mac[0] = '\0';
  pclose(p);
  mac[std::strcspn(mac, "\n")] = '\0';
  if (!mac[0]) return;
  FILE* b = popen("ip -batch -", "w");
  if (!b) return;
  for (const DeviceRecord& d : devices) {
    char ip[16];
    std::fprintf(b, "neigh replace %s lladdr %s nud permanent dev %s\n", FormatIp(d.ip, ip), mac, pcif);
  }
  const int rc = pclose(b);
  std::printf("  neighbour entries pinned for %zu addresses (%s)\n", devices.size(), rc == 0 ? "ok" : "failed");
}

const char* KindName(dk::IcmpKind k) {
  switch (k) {
    case dk::IcmpKind::kDatagram: return "ICMP datagram socket";
    case dk::IcmpKind::kRaw: return "raw ICMP socket";
    default: return "system ping";
  }
}

int Inner(size_t want, bool system_ping) {
  HttpGlobalInit();
  Collect scan;
  dk::StopFlag stop;
  TalqThreadProc(ScanConfig{}, stop, &scan);
  std::printf("  scan: %zu of %zu devices\n", scan.devices.size(), want);
  InventoryConfig cfg;
  cfg.devices = scan.devices;
  cfg.timings.ping_socket = !system_ping;
  if (want > 1000) PinNeighbours(cfg.devices);
  std::printf("  ping through: %s\n", system_ping ? "system ping" : KindName(InventoryPingKind()));
  if (!system_ping && want >= 5000) {
    const double c0 = CpuMs(RUSAGE_SELF), w0 = WallMs();
    int answered = 0;
    for (const DeviceRecord& d : cfg.devices)
      answered += InventoryPingCheck(d.ip, cfg.timings.ping_count, cfg.timings.ping_timeout_ms, stop);
    const double w = WallMs() - w0, c = CpuMs(RUSAGE_SELF) - c0;
    std::printf("  ping alone, one after another: %d of %zu answered; wall %.0f ms, CPU %.0f ms (%.1f us a device)\n",
                answered, cfg.devices.size(), w, c, cfg.devices.empty() ? 0.0 : c * 1000 / double(cfg.devices.size()));
  }
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

int Case(const char* title, const std::string& self, int devices, const char* extra, const char* mode = "") {
  std::printf("%s\n", title);
  std::fflush(stdout);
  const std::string cmd = dkbench::SegmentScript() + " --quiet --devices " + std::to_string(devices) + " " +
                          extra + " --sim " + dkbench::ToolPath("dravenkit-sim") + " -- " + self + " inner " +
                          std::to_string(devices) + " " + mode;
  return std::system(cmd.c_str()) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "inner") == 0)
    return Inner(static_cast<size_t>(std::atoi(argv[2])), argc >= 4 && std::strcmp(argv[3], "system-ping") == 0);
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  int rc = Case("5000 devices, every one answering (goal: at most 5 s of wall and 2 s of CPU)", self, 5000, "");
  rc |= Case("500 devices, every one answering (goal: under 5 s)", self, 500, "");
  rc |= Case("500 devices, every one answering, through the system ping", self, 500, "", "system-ping");
  rc |= Case("100 devices, 20 accept and never answer (goal: within 10 s)", self, 100,
             "--fault http-hang=0.2 --seed 21");
  return rc;
}
