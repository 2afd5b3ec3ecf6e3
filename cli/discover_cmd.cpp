// dravenkit-cli discover [--json]: one scan as the window runs it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "config/settings.h"
#include "engine/devices/device_format.h"
#include "engine/devices/discovery_scan.h"
#include "engine/talq/talq_client.h"
#include "platform/stdio_redirect.h"

namespace {

const char kDiscoverUsage[] =
    "usage: dravenkit-cli discover [--json]\n"
    "  One discovery scan (XFLAG from Dravenkit.ini beside the executable).\n"
    "  Prints a tab-separated table in arrival order, or with --json an array\n"
    "  holding every field of each device's record.\n";

// The scan runs on this thread, so the sink only has to keep the messages.
class CollectingSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override { msgs.push_back(std::move(msg)); }
  std::vector<WorkerMessage> msgs;
};

}  // namespace

int CliDiscover(int argc, char** argv) {
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--json")) {
      json = true;
    } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kDiscoverUsage, stdout);
      return kCliOk;
    } else {
      std::fprintf(stderr, "dravenkit-cli discover: unexpected argument '%s'\n", argv[i]);
      std::fputs(kDiscoverUsage, stderr);
      return kCliUsage;
    }
  }

  // As the window: a missing file leaves the built-in values.
  CNVTSettings settings;
  (void)settings.Load();
  TalqSetTraceEnabled(settings.XDEBUG_SERVER_ENABLE == 1);

  ScanConfig cfg;
  cfg.xflag = settings.XFLAG;
  dk::StopFlag stop;
  CollectingSink sink;
  {
    // The protocol layer prints its diagnostics ("broadcast error") on
    // standard output; keep them out of the listing and the JSON.
    dk::StdoutToStderr divert;
    TalqThreadProc(cfg, stop, &sink);
  }

  // The window lists a MAC once, at its first reply; so does this list.
  std::vector<DeviceRecord> devices;
  bool faulted = false;
  for (const WorkerMessage& m : sink.msgs) {
    if (m.id == UM_SCAN_DONE && m.wparam == kScanDoneFault) faulted = true;
    if (m.id != UM_DEVICE_FOUND) continue;
    const auto* rec = std::get_if<DeviceRecord>(&m.payload);
    if (!rec) continue;
    bool seen = false;
    for (const DeviceRecord& d : devices)
      if (!std::memcmp(d.mac, rec->mac, 6)) seen = true;
    if (!seen) devices.push_back(*rec);
  }
  if (faulted) {
    std::fprintf(stderr, "%s\n", kTalqThreadFaultText);
    return kCliFailed;
  }

  if (json) {
    std::fputs(DevicesJsonArray(devices).c_str(), stdout);
  } else {
    std::printf("%s\n", kDeviceListingHeader);
    for (size_t i = 0; i < devices.size(); ++i)
      std::printf("%s\n", DeviceListingLine(static_cast<int>(i) + 1, devices[i]).c_str());
  }
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}
