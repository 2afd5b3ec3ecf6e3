// The multiple IP setting run over every device of a simulated segment
// (range mode) and its verification. Prints the run's wall time per device
// count, the time until every accepted device answered from its new address
// and the number of rescans that took.
//
// Run inside a segment's PC namespace, from a private network namespace:
//   unshare --net --mount --fork sh -c 'mount -t tmpfs tmpfs /run/netns;
//     scripts/segment --devices 1000 -- build/bench/multiple_ip_bench'
// A range keeps its third number, so the devices are given in ranges of up to
// 250 (192.168.101.1-250, 192.168.102.1-250, ...), one run per range, back to back.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/devices/discovery_scan.h"
#include "engine/ops/multiple_ip.h"
#include "engine/update/worker_messages.h"

namespace {

double WallMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

class Collect : public MessageSink {
 public:
  void Post(WorkerMessage m) override { msgs.push_back(std::move(m)); }
  std::vector<WorkerMessage> msgs;
};

std::vector<DeviceRecord> Scan() {
  ScanConfig cfg;
  dk::StopFlag stop;
  Collect sink;
  TalqThreadProc(cfg, stop, &sink);
  std::vector<DeviceRecord> out;
  std::set<std::string> seen;
  for (const WorkerMessage& m : sink.msgs) {
    const auto* rec = std::get_if<DeviceRecord>(&m.payload);
    if (m.id != UM_DEVICE_FOUND || !rec) continue;
    if (seen.insert(std::string(reinterpret_cast<const char*>(rec->mac), 6)).second) out.push_back(*rec);
  }
  return out;
}

}  // namespace

int main() {
  std::vector<DeviceRecord> devices = Scan();
  std::printf("devices found by one scan: %zu\n", devices.size());
  if (devices.empty()) return 1;

  const double run_start = WallMs();
  std::vector<DeviceRecord> accepted;
  int sent = 0;
  for (size_t first = 0, range = 0; first < devices.size(); first += 250, ++range) {
    NvtSettingParam p;
    p.devices.assign(devices.begin() + first, devices.begin() + std::min(devices.size(), first + 250));
    p.start_ip = IpFromOctets(192, 168, static_cast<uint8_t>(101 + range), 1);
    p.subnet_mask = IpFromOctets(255, 255, 0, 0);
    p.admin_id = "root";
    p.admin_password = "tulp";
    dk::StopFlag stop;
    Collect sink;
    NvtSettingThreadProc(p, stop, &sink);
    for (const WorkerMessage& m : sink.msgs) {
      if (m.id != UM_IP_SETTING_RESULT) continue;
      ++sent;
      if (m.wparam == 0) accepted.push_back(std::get<DeviceRecord>(m.payload));
    }
  }
  const double run_ms = WallMs() - run_start;
  std::printf("run: %d requests, %zu accepted in %.0f ms (%.2f ms per device)\n", sent, accepted.size(), run_ms,
              run_ms / std::max(1, sent));

  // The window's verification: a scan at once, then one every 3000 ms.
  const double verify_start = WallMs();
  size_t left = accepted.size();
  int scans = 0;
  while (left > 0 && scans < 10) {
    const double round = WallMs();
    ++scans;
    for (const DeviceRecord& rec : Scan())
      for (DeviceRecord& want : accepted)
        if (NvtVerificationMatches(want, rec)) {
          std::memset(want.mac, 0, 6);
          --left;
          break;
        }
    std::printf("verification scan %d at %.0f ms after the run: %zu of %zu devices still awaited\n", scans,
                round - verify_start, left, accepted.size());
    if (left == 0) break;
    const double wait = 3000 - (WallMs() - round);
    if (wait > 0) usleep(static_cast<useconds_t>(wait * 1000));
  }
  std::printf("verification: %s after %d scan(s), %.0f ms\n", left == 0 ? "complete" : "INCOMPLETE", scans,
              WallMs() - verify_start);
  return left == 0 ? 0 : 1;
}
