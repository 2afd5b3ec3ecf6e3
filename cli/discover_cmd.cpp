// dravenkit-cli discover [--json | --csv [-o FILE]]: one scan as the window runs it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/settings.h"
#include "engine/devices/device_csv.h"
#include "engine/devices/device_format.h"
#include "engine/talq/talq_client.h"

namespace {

struct DiscoverOptions {
  bool json = false;
  bool csv = false;
  std::string output;  // with --csv: the file to write instead of standard output
};

int RunDiscover(const DiscoverOptions& o) {
  // As the window: a missing file leaves the built-in values.
  CNVTSettings settings;
  (void)settings.Load();
  TalqSetTraceEnabled(settings.XDEBUG_SERVER_ENABLE == 1);

  std::vector<DeviceRecord> devices;
  if (ScanOnce(settings.XFLAG, &devices) != 0) return kCliFailed;

  if (o.csv) {
    std::vector<DeviceCsvRow> rows;
    for (size_t i = 0; i < devices.size(); ++i) rows.push_back(DeviceCsvRowFor(static_cast<int>(i) + 1, devices[i]));
    if (!o.output.empty()) {
      std::string error;
      if (WriteDeviceCsv(o.output, rows, &error) == 0) return kCliOk;
      std::fprintf(stderr, "Could not write \"%s\": %s\n", o.output.c_str(), error.c_str());
      return kCliFailed;
    }
    std::fputs(DeviceCsvText(rows).c_str(), stdout);
  } else if (o.json) {
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
      "usage: dravenkit-cli discover [--json | --csv [-o FILE]]\n"
      "One discovery scan (XFLAG from the settings file that dravenkit-cli settings names). Prints a tab-separated "
      "table in arrival order, with --json an array holding every field of each device's record, or "
      "with --csv the window's \"Export list...\" columns (RFC 4180, UTF-8); -o writes them to FILE "
      "through a temporary file renamed over it.");
  CLI::Option* json = sub->add_flag("--json", opts->json, "print a JSON array, one device object per line");
  CLI::Option* csv = sub->add_flag("--csv", opts->csv, "print the list as CSV");
  csv->excludes(json);
  sub->add_option("-o,--output", opts->output, "with --csv: write the CSV to this file")->needs(csv);
  sub->callback([opts, status] { *status = RunDiscover(*opts); });
}
