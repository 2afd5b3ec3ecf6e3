// dravenkit-cli ping: one discovery scan, then every device checked as the
// window's "Ping response" does.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "config/settings.h"
#include "engine/devices/device_record.h"
#include "engine/devices/discovery_scan.h"
#include "engine/ops/ping_tools.h"

namespace {

const char kPingUsage[] =
    "usage: dravenkit-cli ping\n"
    "  One discovery scan (XFLAG from Dravenkit.ini beside the executable), then\n"
    "  one echo request with a 5 ms time-out to each device found, in the order\n"
    "  they answered. Prints one line per device: MAC address, IP address and\n"
    "  \"answered\" or \"no answer\".\n";

// Both runs happen on this thread, so the sink only has to keep the messages.
class CollectingSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override { msgs.push_back(std::move(msg)); }
  std::vector<WorkerMessage> msgs;
};

}  // namespace

int CliPing(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kPingUsage, stdout);
      return kCliOk;
    }
    std::fprintf(stderr, "dravenkit-cli ping: unexpected argument '%s'\n", argv[i]);
    std::fputs(kPingUsage, stderr);
    return kCliUsage;
  }

  CNVTSettings settings;
  (void)settings.Load();
  ScanConfig cfg;
  cfg.xflag = settings.XFLAG;
  dk::StopFlag stop;
  CollectingSink scan;
  TalqThreadProc(cfg, stop, &scan);

  // As the list: one entry per MAC, at its first reply.
  std::vector<PingTarget> targets;
  for (const WorkerMessage& m : scan.msgs) {
    if (m.id == UM_SCAN_DONE && m.wparam == kScanDoneFault) {
      std::fprintf(stderr, "%s\n", kTalqThreadFaultText);
      return kCliFailed;
    }
    const auto* rec = m.id == UM_DEVICE_FOUND ? std::get_if<DeviceRecord>(&m.payload) : nullptr;
    if (!rec) continue;
    bool seen = false;
    for (const PingTarget& t : targets)
      if (!std::memcmp(t.mac, rec->mac, 6)) seen = true;
    if (seen) continue;
    PingTarget t{};
    std::memcpy(t.mac, rec->mac, 6);
    t.ip = rec->ip;
    targets.push_back(t);
  }

  CollectingSink results;
  PingThreadProc(targets, PingTimings{}, stop, &results);
  for (const WorkerMessage& m : results.msgs) {
    const auto* r = m.id == UM_PING_RESULT ? std::get_if<PingResult>(&m.payload) : nullptr;
    if (!r) continue;
    char mac[24], ip[16];
    std::printf("%s %s %s\n", FormatMacPlain(r->mac, mac), FormatIp(r->ip, ip), m.wparam ? "answered" : "no answer");
  }
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}
