// dravenkit-cli info IP [--port N] [--json]: the information query that a
// selection in the window runs, printed as the panel would show it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "engine/devices/device_format.h"
#include "engine/devices/device_record.h"
#include "engine/ops/http_requests.h"
#include "engine/ops/info_query.h"

namespace {

const char kInfoUsage[] =
    "usage: dravenkit-cli info IP [--port N] [--json]\n"
    "  Pings the device once, then reads its system mode, firmware version and\n"
    "  serial number over HTTP (web port N, default 80). Prints the three texts\n"
    "  the window's information panel shows, or a JSON object with --json.\n"
    "  Exit status 1 when the device did not answer ping.\n";

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

// Device texts go to a terminal: control bytes are shown as \xNN.
std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      out += b;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool ParsePort(const char* text, uint16_t* port) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < 0 || v > 65535 || text[0] == '-' || text[0] == '+') return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

int Usage(const char* fmt, const char* arg) {
  std::fprintf(stderr, fmt, arg);
  std::fputs(kInfoUsage, stderr);
  return kCliUsage;
}

}  // namespace

int CliInfo(int argc, char** argv) {
  bool json = false;
  uint16_t port = 80;
  const char* ip_text = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--json")) {
      json = true;
    } else if (!std::strcmp(argv[i], "--port")) {
      if (i + 1 >= argc || !ParsePort(argv[i + 1], &port))
        return Usage("dravenkit-cli info: --port needs a number 0-65535%s\n", "");
      ++i;
    } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kInfoUsage, stdout);
      return kCliOk;
    } else if (argv[i][0] == '-' || ip_text) {
      return Usage("dravenkit-cli info: unexpected argument '%s'\n", argv[i]);
    } else {
      ip_text = argv[i];
    }
  }
  if (!ip_text) return Usage("dravenkit-cli info: no device address given%s\n", "");
  uint32_t ip = 0;
  if (ParseIp(ip_text, &ip) != 0) return Usage("dravenkit-cli info: '%s' is not an IPv4 address\n", ip_text);

  if (HttpGlobalInit() != 0) {
    std::fputs("dravenkit-cli info: HTTP library start-up failed\n", stderr);
    return kCliFailed;
  }
  VersionQueryParam p{};
  p.ip = ip;
  p.port = port;
  p.timings = InfoQueryTimings{};
  dk::StopFlag stop;
  PanelSink panel;
  int32_t r = GetVersionThreadProc(p, stop, &panel);

  if (json) {
    std::string o = "{\"system_mode\": " + JsonString(panel.system_mode.data(), panel.system_mode.size()) +
                    ", \"firmware_version\": " +
                    JsonString(panel.firmware_version.data(), panel.firmware_version.size()) +
                    ", \"serial_number\": " + JsonString(panel.serial_number.data(), panel.serial_number.size()) +
                    "}\n";
    std::fputs(o.c_str(), stdout);
  } else {
    std::printf("System Mode : %s\n", Printable(panel.system_mode).c_str());
    std::printf("Firmware Ver. : %s\n", Printable(panel.firmware_version).c_str());
    std::printf("Serial No. : %s\n", Printable(panel.serial_number).c_str());
  }
  if (std::fflush(stdout) != 0) return kCliFailed;
  return r < 0 ? kCliFailed : kCliOk;
}
