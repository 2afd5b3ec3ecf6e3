// dravenkit-cli snapshot (--mac MAC ... | --all) --sheet FILE.png: the first
// picture of many devices at once, as one contact sheet.
#include <png.h>

#include <cstdio>
#include <cstring>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/snapshot_sheet.h"
#include "config/settings.h"
#include "engine/video/contact_sheet.h"
#include "engine/video/first_frames.h"

namespace {

uint16_t StreamPort(const DeviceRecord& r, int stream) {
  return stream == 1 ? r.av_port1 : stream == 2 ? r.av_port2 : r.av_port3;
}

int WriteSheetPng(const RgbPicture& pic, const std::string& path) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(pic.width);
  img.height = static_cast<png_uint_32>(pic.height);
  img.format = PNG_FORMAT_RGB;
  const int ok = png_image_write_to_file(&img, path.c_str(), 0, pic.rgb.data(), pic.width * 3, nullptr);
  png_image_free(&img);
  return ok ? 0 : -1;
}

}  // namespace

int RunSnapshotSheet(const SheetOptions& o) {
  const char* me = "dravenkit-cli snapshot";
  if (CheckDeviceChoice(me, o.macs, o.all) != 0) return kCliUsage;
  CNVTSettings settings;
  (void)settings.Load();  // read only: XFLAG of the scan
  std::vector<DeviceRecord> chosen;
  if (ScanAndChoose(me, settings.XFLAG, o.macs, o.all, &chosen) != 0) return kCliFailed;

  std::vector<FirstFrameJob> jobs(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    const uint16_t port = StreamPort(chosen[i], o.stream);
    jobs[i].has_port = port != 0;
    jobs[i].src.address = IpText(chosen[i].ip);
    jobs[i].src.port = port;
    jobs[i].src.channel = o.channel;
    jobs[i].src.user = o.user;
    jobs[i].src.password = o.password;
  }
  const uint32_t timeout_ms = static_cast<uint32_t>(o.timeout_s * 1000);
  VideoTimings t;
  t.answer_ms = timeout_ms;
  t.stall_ms = timeout_ms;
  std::vector<FirstFrameResult> results;
  GrabFirstFrames(jobs, t, timeout_ms, o.concurrency, &results);

  std::vector<SheetTile> tiles(chosen.size());
  int pictures = 0;
  for (size_t i = 0; i < chosen.size(); ++i) {
    const DeviceRecord& r = chosen[i];
    SheetTile& tile = tiles[i];
    if (results[i].code == kVideoOk) {
      tile.picture = &results[i].frame;
      ++pictures;
    } else {
      tile.failure = VideoFailureText(results[i].code);
    }
    tile.lines[0] = Printable(std::string(r.model_name, strnlen(r.model_name, sizeof r.model_name)));
    tile.lines[1] = MacText(r.mac);
    tile.lines[2] = jobs[i].has_port ? jobs[i].src.address + ":" + std::to_string(jobs[i].src.port) : jobs[i].src.address;
  }
  RgbPicture sheet;
  const bool written = ComposeContactSheet(tiles, SheetLayout(), &sheet) == 0 && WriteSheetPng(sheet, o.sheet) == 0;
  if (!written) std::fprintf(stderr, "%s: cannot write %s\n", me, o.sheet.c_str());

  bool out_ok = true;
  if (o.json) {
    nlohmann::ordered_json j;
    j["devices"] = nlohmann::ordered_json::array();
    for (size_t i = 0; i < chosen.size(); ++i) {
      const FirstFrameResult& r = results[i];
      const bool ok = r.code == kVideoOk;
      nlohmann::ordered_json e;
      e["mac"] = MacText(chosen[i].mac);
      e["ip"] = IpText(chosen[i].ip);
      e["result"] = VideoResultName(r.code);
      e["width"] = ok ? nlohmann::ordered_json(r.frame.width) : nlohmann::ordered_json(nullptr);
      e["height"] = ok ? nlohmann::ordered_json(r.frame.height) : nlohmann::ordered_json(nullptr);
      e["first_frame_ms"] = ok ? nlohmann::ordered_json(r.first_frame_us / 1000) : nlohmann::ordered_json(nullptr);
      j["devices"].push_back(std::move(e));
    }
    out_ok = PrintJson(j);
  } else {
    for (size_t i = 0; i < chosen.size(); ++i) {
      const FirstFrameResult& r = results[i];
      if (r.code == kVideoOk)
        std::printf("%s %s %dx%d, first frame after %lld ms\n", MacText(chosen[i].mac).c_str(),
                    IpText(chosen[i].ip).c_str(), r.frame.width, r.frame.height,
                    static_cast<long long>(r.first_frame_us / 1000));
      else
        std::printf("%s %s %s\n", MacText(chosen[i].mac).c_str(), IpText(chosen[i].ip).c_str(),
                    VideoFailureText(r.code));
    }
    out_ok = std::fflush(stdout) == 0;
  }
  return written && out_ok && pictures == static_cast<int>(chosen.size()) ? kCliOk : kCliFailed;
}
