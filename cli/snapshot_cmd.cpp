// dravenkit-cli snapshot: one picture of a device's live video as a PNG, with
// the same video client as the monitoring window.
#include <png.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/snapshot_sheet.h"
#include "engine/ops/info_query.h"
#include "engine/video/video_client.h"

namespace {

struct SnapshotOptions {
  std::string ip;
  int port = 1852;
  int channel = 1;
  std::string user = kInfoQueryUser;
  std::string password = kDefaultDevicePassword;
  PasswordChoice pw;
  std::string out;
  double timeout_s = 10;
  SheetOptions sheet;  // --sheet: many devices, one contact sheet
};

// The failures as the monitoring window names them.
const char* FailureText(int32_t code) {
  switch (code) {
    case kVideoBusy: return "too many viewers (maximum connection exceeded)";
    case kVideoAuth: return "wrong ID or password, or the port is disabled";
    case kVideoNoAnswer: return "no answer from the device";
    default: return "login error: the device refused the stream";
  }
}

// The frame as an 8-bit RGB PNG; 0 or -1.
int WritePng(const VideoFrame& f, const std::string& path) {
  std::vector<uint8_t> bgr(size_t(f.width) * size_t(f.height) * 3);
  for (size_t i = 0, o = 0; o < bgr.size(); i += 4, o += 3) {
    bgr[o] = f.bgra[i];
    bgr[o + 1] = f.bgra[i + 1];
    bgr[o + 2] = f.bgra[i + 2];
  }
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(f.width);
  img.height = static_cast<png_uint_32>(f.height);
  img.format = PNG_FORMAT_BGR;
  const int ok = png_image_write_to_file(&img, path.c_str(), 0, bgr.data(), f.width * 3, nullptr);
  png_image_free(&img);
  return ok ? 0 : -1;
}

int RunSnapshot(const SnapshotOptions& o) {
  uint32_t ip;
  if (ParseIpText(o.ip, &ip) != 0) {
    std::fprintf(stderr, "dravenkit-cli snapshot: '%s' is not an IPv4 address\n", o.ip.c_str());
    return kCliUsage;
  }
  VideoSource src;
  src.address = o.ip;
  src.port = o.port;
  src.channel = o.channel;
  src.user = o.user;
  src.password = o.password;
  const uint32_t timeout_ms = static_cast<uint32_t>(o.timeout_s * 1000);
  VideoTimings t;
  t.answer_ms = timeout_ms;
  t.stall_ms = timeout_ms;
  VideoFrame frame;
  int64_t first_us = -1;
  const int32_t r = GrabFirstFrame(src, t, timeout_ms, &frame, &first_us);
  if (r != kVideoOk) {
    std::fprintf(stderr, "dravenkit-cli snapshot: %s: %s\n", VideoUrl(src).c_str(), FailureText(r));
    return kCliFailed;
  }
  if (WritePng(frame, o.out) != 0) {
    std::fprintf(stderr, "dravenkit-cli snapshot: cannot write %s\n", o.out.c_str());
    return kCliFailed;
  }
  std::printf("%dx%d, first frame after %lld ms, written to %s\n", frame.width, frame.height,
              static_cast<long long>(first_us / 1000), o.out.c_str());
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}

}  // namespace

void AddSnapshotCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<SnapshotOptions>();
  SheetOptions& sh = opts->sheet;
  CLI::App* sub = app.add_subcommand("snapshot", "save one picture of a device's live video as PNG");
  sub->footer(
      "usage: dravenkit-cli snapshot IP [--port N] [--channel C] [--user ID] [--password PW | --password-file FILE] --out FILE.png "
      "[--timeout S]\n"
      "       dravenkit-cli snapshot (--mac MAC ... | --all) --sheet FILE.png [--stream 1|2|3] [--channel C] "
      "[--user ID] [--password PW | --password-file FILE] [--concurrency N] [--timeout S] [--json]\n"
      "Connects to rtsp://IP:N/chC (RTSP over TCP, port 1852 and channel 1 unless given, ID \"root\" and "
      "the default password unless given), decodes until one picture is complete and writes it as PNG at "
      "the stream's own size. Prints its size and the time to the first picture. Exit status 1 with the "
      "reason when the device refused (wrong ID or password, too many viewers) or did not answer within "
      "S seconds (default 10).\n"
      "With --sheet: one discovery scan, then the first picture of each device named by --mac (or of every "
      "device found) from its AV port of --stream (default 1), at most N devices at once (default 8), "
      "each within S seconds; one PNG contact sheet of them in list order with model, MAC and address "
      "under each picture, and a tile naming the failure of a device without one. Prints one line per "
      "device; --json one object with \"devices\": mac, ip, result, width, height, first_frame_ms. "
      "Exit status 0 when every device gave a picture, 1 otherwise, 2 usage error.");
  CLI::Option* ip = sub->add_option("IP", opts->ip, "the device's IPv4 address");
  CLI::Option* port = sub->add_option("--port", opts->port, "RTSP port (default 1852)")->check(CLI::Range(1, 65535));
  sub->add_option("--channel", opts->channel, "channel 1-4 (default 1)")->check(CLI::Range(1, 4));
  sub->add_option("--user", opts->user, "ID (default root)");
  AddPasswordOptions(sub, &opts->pw, "password (default: the device default)");
  CLI::Option* out = sub->add_option("--out", opts->out, "PNG file to write");
  sub->add_option("--timeout", opts->timeout_s, "seconds to wait (default 10)")->check(CLI::Range(0.1, 600.0));
  CLI::Option* sheet = sub->add_option("--sheet", sh.sheet, "contact sheet PNG of many devices");
  CLI::Option* macs = sub->add_option("--mac", sh.macs, "with --sheet: a device by MAC address (repeatable)");
  CLI::Option* all = sub->add_flag("--all", sh.all, "with --sheet: every device that answers the scan");
  CLI::Option* stream =
      sub->add_option("--stream", sh.stream, "with --sheet: AV port 1-3 of each device (default 1)")->check(CLI::Range(1, 3));
  CLI::Option* conc = sub->add_option("--concurrency", sh.concurrency, "with --sheet: devices at once (default 8)")
                          ->check(CLI::Range(1, 64));
  CLI::Option* json = sub->add_flag("--json", sh.json, "with --sheet: one JSON object");
  sub->callback([opts, status, ip, port, out, sheet, macs, all, stream, conc, json] {
    if (ResolvePassword("dravenkit-cli snapshot", opts->pw, &opts->password) < 0) {
      *status = kCliUsage;
      return;
    }
    if (sheet->count() > 0) {
      if (ip->count() > 0 || port->count() > 0 || out->count() > 0) {
        std::fprintf(stderr, "dravenkit-cli snapshot: --sheet takes devices by --mac or --all, not IP, --port or --out\n");
        *status = kCliUsage;
        return;
      }
      SheetOptions& s = opts->sheet;
      s.channel = opts->channel;
      s.user = opts->user;
      s.password = opts->password;
      s.timeout_s = opts->timeout_s;
      *status = RunSnapshotSheet(s);
      return;
    }
    for (const CLI::Option* o : {macs, all, stream, conc, json}) {
      if (o->count() > 0) {
        std::fprintf(stderr, "dravenkit-cli snapshot: %s needs --sheet\n", o->get_name().c_str());
        *status = kCliUsage;
        return;
      }
    }
    if (ip->count() == 0 || out->count() == 0) {
      std::fprintf(stderr, "dravenkit-cli snapshot: %s is required\n", ip->count() == 0 ? "IP" : "--out");
      *status = kCliUsage;
      return;
    }
    *status = RunSnapshot(*opts);
  });
}
