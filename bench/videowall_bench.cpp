// Many devices' video at once, on a simulated segment:
//   sheet: dravenkit-cli snapshot --all --sheet over every device of the segment
//          (scripts/segment --devices 50 -- build/bin/videowall_bench sheet)
//   wall:  the window's video wall with its real viewers on 16 devices' 320x180
//          streams, offscreen: CPU of this whole process and the frames shown
//          (scripts/segment --fleet tests/segment/fleet_wall.txt -- build/bin/videowall_bench wall)
#include <sys/resource.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/bench_paths.h"
#include "platform/process.h"
#include "ui/video_wall.h"
#include "ui/viewer_control.h"

namespace {

double ProcessCpuS() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int Sheet() {
  const std::string path = "/tmp/videowall_bench_sheet.png";
  for (int run = 1; run <= 3; ++run) {
    std::string out;
    dk::ProcessTimings pt;
    pt.limit_ms = 120000;
    pt.max_output = 1 << 20;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc =
        dk::ProcessRun({dkbench::ToolPath("dravenkit-cli"), "snapshot", "--all", "--sheet", path, "--json"}, &out, pt);
    const double wall = Since(t0);
    const auto j = nlohmann::json::parse(out, nullptr, false);
    if (!j.is_object()) {
      std::printf("  run %d: status %d, no JSON\n", run, rc);
      return 1;
    }
    int ok = 0;
    std::vector<int> first;
    for (const auto& d : j["devices"]) {
      if (d["result"] != "ok") continue;
      ++ok;
      first.push_back(d["first_frame_ms"].get<int>());
    }
    std::sort(first.begin(), first.end());
    std::printf("  run %d: %zu devices, %d pictures, status %d, wall %.2f s; first frame median %d ms, max %d ms\n",
                run, j["devices"].size(), ok, rc, wall, first.empty() ? -1 : first[first.size() / 2],
                first.empty() ? -1 : first.back());
  }
  std::printf("  sheet written to %s\n", path.c_str());
  return 0;
}

int Wall(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<DeviceRecord> recs(kVideoWallMax);
  for (int i = 0; i < kVideoWallMax; ++i) {
    DeviceRecord& r = recs[i];
    std::memset(&r, 0, sizeof r);
    const std::string ip = "10.77.1." + std::to_string(i + 1);
    ParseIp(ip.c_str(), &r.ip);
    r.av_port1 = 554;
    r.av_port2 = 555;
    r.av_port3 = 556;
  }
  CVideoWall wall(recs, {});
  wall.show();
  auto viewer = [&](int i) { return static_cast<CPixviewerctrlctrl1*>(wall.Viewer(i)); };
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    bool all = true;
    for (int i = 0; i < wall.Count(); ++i) all = all && viewer(i)->PaintedFrames() >= 3;
    if (all) break;
    if (Since(start) > 60) {
      std::printf("  not every viewer showed pictures within 60 s\n");
      return 1;
    }
    QTest::qWait(20);
  }
  std::printf("  all %d viewers showing pictures after %.2f s\n", wall.Count(), Since(start));
  const int kSeconds = 10;
  std::vector<uint64_t> f0(wall.Count());
  for (int i = 0; i < wall.Count(); ++i) f0[i] = viewer(i)->PaintedFrames();
  const double cpu0 = ProcessCpuS();
  const auto t0 = std::chrono::steady_clock::now();
  QTest::qWait(kSeconds * 1000);
  const double secs = Since(t0), cpu = ProcessCpuS() - cpu0;
  double lo = 1e9, hi = 0, sum = 0;
  for (int i = 0; i < wall.Count(); ++i) {
    const double fps = double(viewer(i)->PaintedFrames() - f0[i]) / secs;
    lo = std::min(lo, fps);
    hi = std::max(hi, fps);
    sum += fps;
  }
  const QSize size = viewer(0)->Picture().size();
  std::printf("  %d streams of %dx%d over %.1f s: frames shown per viewer %.1f-%.1f/s (mean %.1f; stream rate 10/s)\n",
              wall.Count(), size.width(), size.height(), secs, lo, hi, sum / wall.Count());
  std::printf("  CPU of the whole process (demux, decode, conversion, painting): %.1f %% of one core\n",
              100.0 * cpu / secs);
  const auto s0 = std::chrono::steady_clock::now();
  wall.StopAll();
  std::printf("  closing: every connection ended after %.0f ms\n", Since(s0) * 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "sheet") {
    std::printf("videowall_bench sheet:\n");
    return Sheet();
  }
  if (mode == "wall") {
    std::printf("videowall_bench wall:\n");
    return Wall(argc, argv);
  }
  std::fprintf(stderr, "usage: videowall_bench sheet | wall (inside a segment)\n");
  return 2;
}
