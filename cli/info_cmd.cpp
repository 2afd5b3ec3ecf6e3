// dravenkit-cli info IP [--port N] [--json]: the information query that a
// selection in the window runs, printed as the panel would show it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "engine/ops/http_requests.h"
#include "engine/ops/info_query.h"

namespace {

struct InfoOptions {
  std::string ip;
  uint16_t port = 80;
  bool json = false;
};

// The panel's three fields: each message replaces its field's text.
class PanelSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override {
    const auto* text = std::get_if<std::string>(&msg.payload);
    if (!text) return;
    if (msg.id == UM_SYSTEM_MODE_TEXT) system_mode = *text;
    if (msg.id == UM_FIRMWARE_VERSION_TEXT) firmware_version = *text;
    if (msg.id == UM_SERIAL_TEXT) serial_number = *text;
  }
  std::string system_mode, firmware_version, serial_number;
};

int RunInfo(const InfoOptions& o) {
  uint32_t ip = 0;
  if (ParseIpText(o.ip, &ip) != 0) {
    std::fprintf(stderr, "dravenkit-cli info: '%s' is not an IPv4 address\n", o.ip.c_str());
    return kCliUsage;
  }
  if (HttpGlobalInit() != 0) {
    std::fputs("dravenkit-cli info: HTTP library start-up failed\n", stderr);
    return kCliFailed;
  }
  VersionQueryParam p{};
  p.ip = ip;
  p.port = o.port;
  p.timings = InfoQueryTimings{};
  dk::StopFlag stop;
  PanelSink panel;
  const int32_t r = GetVersionThreadProc(p, stop, &panel);

  if (o.json) {
    nlohmann::ordered_json j;
    j["system_mode"] = JsonText(panel.system_mode);
    j["firmware_version"] = JsonText(panel.firmware_version);
    j["serial_number"] = JsonText(panel.serial_number);
    if (!PrintJson(j)) return kCliFailed;
  } else {
    std::printf("System Mode : %s\n", Printable(panel.system_mode).c_str());
    std::printf("Firmware Ver. : %s\n", Printable(panel.firmware_version).c_str());
    std::printf("Serial No. : %s\n", Printable(panel.serial_number).c_str());
  }
  if (std::fflush(stdout) != 0) return kCliFailed;
  return r < 0 ? kCliFailed : kCliOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<InfoOptions>();
  CLI::App* sub = app.add_subcommand("info", "read a device's system mode, firmware version and serial number");
  sub->footer(
      "usage: dravenkit-cli info IP [--port N] [--json]\n"
      "Pings the device once, then reads its system mode, firmware version and serial number over HTTP "
      "(web port N, default 80). Prints the three texts the window's information panel shows, or a JSON "
      "object with --json. Exit status 1 when the device did not answer ping.");
  sub->add_option("IP", opts->ip, "the device's IPv4 address")->required();
  sub->add_option("--port", opts->port, "web port (default 80)")->check(CLI::Range(0, 65535));
  sub->add_flag("--json", opts->json, "print a JSON object");
  sub->callback([opts, status] { *status = RunInfo(*opts); });
}
