// dravenkit-cli ping: one discovery scan, then every device checked as the
// window's "Ping response" does.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/settings.h"
#include "engine/ops/ping_tools.h"

namespace {

int RunPing() {
  CNVTSettings settings;
  (void)settings.Load();
  std::vector<DeviceRecord> devices;
  if (ScanOnce(settings.XFLAG, &devices) != 0) return kCliFailed;

  std::vector<PingTarget> targets;
  for (const DeviceRecord& d : devices) {
    PingTarget t{};
    std::memcpy(t.mac, d.mac, 6);
    t.ip = d.ip;
    targets.push_back(t);
  }
  dk::StopFlag stop;
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

}  // namespace

void AddPingCommand(CLI::App& app, int* status) {
  CLI::App* sub = app.add_subcommand("ping", "check which devices answer ping");
  sub->footer(
      "usage: dravenkit-cli ping\n"
      "One discovery scan (XFLAG from the settings file that dravenkit-cli settings names), then one echo "
      "request with a 5 ms time-out to each device found, in the order they answered. Prints one line per device: MAC "
      "address, IP address and \"answered\" or \"no answer\".");
  sub->callback([status] { *status = RunPing(); });
}
