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
#include "engine/ops/info_query.h"
#include "engine/video/video_client.h"

namespace {

struct SnapshotOptions {
  std::string ip;
  int port = 1852;
  int channel = 1;
  std::string user = kInfoQueryUser;
  std::string password = kDefaultDevicePassword;
  std::string out;
  double timeout_s = 10;
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
  CLI::App* sub = app.add_subcommand("snapshot", "save one picture of a device's live video as PNG");
  sub->footer(
      "usage: dravenkit-cli snapshot IP [--port N] [--channel C] [--user ID] [--password PW] --out FILE.png "
      "[--timeout S]\n"
      "Connects to rtsp://IP:N/chC (RTSP over TCP, port 1852 and channel 1 unless given, ID \"root\" and "
      "the default password unless given), decodes until one picture is complete and writes it as PNG at "
      "the stream's own size. Prints its size and the time to the first picture. Exit status 1 with the "
      "reason when the device refused (wrong ID or password, too many viewers) or did not answer within "
      "S seconds (default 10).");
  sub->add_option("IP", opts->ip, "the device's IPv4 address")->required();
  sub->add_option("--port", opts->port, "RTSP port (default 1852)")->check(CLI::Range(1, 65535));
  sub->add_option("--channel", opts->channel, "channel 1-4 (default 1)")->check(CLI::Range(1, 4));
  sub->add_option("--user", opts->user, "ID (default root)");
  sub->add_option("--password", opts->password, "password (default: the device default)");
  sub->add_option("--out", opts->out, "PNG file to write")->required();
  sub->add_option("--timeout", opts->timeout_s, "seconds to wait (default 10)")->check(CLI::Range(0.1, 600.0));
  sub->callback([opts, status] { *status = RunSnapshot(*opts); });
}
