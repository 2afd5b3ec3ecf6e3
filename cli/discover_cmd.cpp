// dravenkit-cli discover [--json]: one scan as the window runs it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/settings.h"
#include "engine/devices/device_format.h"
#include "engine/talq/talq_client.h"

namespace {

struct DiscoverOptions {
  bool json = false;
};

int RunDiscover(const DiscoverOptions& o) {
  // As the window: a missing file leaves the built-in values.
  CNVTSettings settings;
  (void)settings.Load();
  TalqSetTraceEnabled(settings.XDEBUG_SERVER_ENABLE == 1);

  std::vector<DeviceRecord> devices;
  if (ScanOnce(settings.XFLAG, &devices) != 0) return kCliFailed;

  if (o.json) {
    // One object per line, so the listing stays easy to read and to grep.
    std::string s = "[]\n";
    if (!devices.empty()) {
      s = "[\n";
      for (size_t i = 0; i < devices.size(); ++i)
        s += "  " + DeviceJson(devices[i]).dump() + (i + 1 < devices.size() ? ",\n" : "\n");
      s += "]\n";
    }
    std::fputs(s.c_str(), stdout);
  } else {
    std::printf("%s\n", kDeviceListingHeader);
    for (size_t i = 0; i < devices.size(); ++i)
      std::printf("%s\n", DeviceListingLine(static_cast<int>(i) + 1, devices[i]).c_str());
  }
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}

}  // namespace

void AddDiscoverCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<DiscoverOptions>();
  CLI::App* sub = app.add_subcommand("discover", "one discovery scan; list the devices that answered");
  sub->footer(
      "usage: dravenkit-cli discover [--json]\n"
      "One discovery scan (XFLAG from the settings file that dravenkit-cli settings names). Prints a "
      "tab-separated table in arrival order, or with --json an array holding every field of each device's record.");
  sub->add_flag("--json", opts->json, "print a JSON array, one device object per line");
  sub->callback([opts, status] { *status = RunDiscover(*opts); });
}
