// Live video figures on a simulated segment: connect to first decoded frame,
// the client's CPU per stream, and the simulator's CPU per stream served.
// Run inside a segment: scripts/segment --devices 1 -- build/bin/video_bench [ADDRESS]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/video/video_client.h"

namespace {

double ProcessCpuS() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// utime + stime of another process, in seconds; -1 when unknown.
double OtherCpuS(int pid) {
  if (pid <= 0) return -1;
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const size_t close = all.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(all.substr(close + 2));
  std::string field;
  unsigned long long ut = 0, st = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) ut = std::stoull(field);
    if (i == 15) st = std::stoull(field);
  }
  return double(ut + st) / double(sysconf(_SC_CLK_TCK));
}

class CountingSink : public VideoSink {
 public:
  void OnVideoFrame(uint64_t) override {
    std::lock_guard<std::mutex> l(m);
    ++frames;
    cv.notify_all();
  }
  void OnVideoFailed(uint64_t, int32_t c) override {
    std::lock_guard<std::mutex> l(m);
    code = c;
    cv.notify_all();
  }
  std::mutex m;
  std::condition_variable cv;
  uint64_t frames = 0;
  int32_t code = 0;
};

}  // namespace

int main(int argc, char** argv) {
  VideoSource src;
  src.address = argc > 1 ? argv[1] : "10.77.1.1";
  src.port = 554;
  src.user = "root";
  src.password = "tulp";
  const char* pid_text = std::getenv("DK_SEG_SIM_PID");
  const int sim_pid = pid_text ? std::atoi(pid_text) : 0;
  VideoTimings t;

  std::printf("video_bench: %s\n", VideoUrl(src).c_str());
  std::vector<double> first_ms;
  for (int i = 0; i < 5; ++i) {
    CountingSink sink;
    VideoClient client;
    client.Start(src, t, &sink);
    std::unique_lock<std::mutex> l(sink.m);
    sink.cv.wait_for(l, std::chrono::seconds(10), [&] { return sink.frames > 0 || sink.code != 0; });
    l.unlock();
    const VideoStats st = client.Stats();
    client.Stop();
    if (st.first_frame_us < 0) {
      std::printf("  connect %d: no frame (code %d)\n", i + 1, sink.code);
      return 1;
    }
    first_ms.push_back(double(st.first_frame_us) / 1000.0);
    std::printf("  connect %d: first frame after %.1f ms (%dx%d)\n", i + 1, first_ms.back(), st.width, st.height);
  }

  const double idle0 = OtherCpuS(sim_pid);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double idle1 = OtherCpuS(sim_pid);

  const int kSeconds = 6;
  CountingSink sink;
  VideoClient client;
  client.Start(src, t, &sink);
  {
    std::unique_lock<std::mutex> l(sink.m);
    sink.cv.wait_for(l, std::chrono::seconds(10), [&] { return sink.frames > 0 || sink.code != 0; });
  }
  const double cpu0 = ProcessCpuS(), sim0 = OtherCpuS(sim_pid);
  const uint64_t f0 = client.Stats().frames;
  const auto w0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
  const double cpu1 = ProcessCpuS(), sim1 = OtherCpuS(sim_pid);
  const VideoStats st = client.Stats();
  client.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the pipeline's tear-down
  const double after0 = OtherCpuS(sim_pid);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double after1 = OtherCpuS(sim_pid);
  const double fps = double(st.frames - f0) / wall;
  std::printf("  stream %dx%d: %.1f frames/s over %.1f s\n", st.width, st.height, fps, wall);
  std::printf("  client CPU (demux, decode, BGRA conversion): %.1f %% of a core\n", 100.0 * (cpu1 - cpu0) / wall);
  if (sim_pid > 0) {
    std::printf("  simulator CPU, no viewer: %.2f %% of a core\n", 100.0 * (idle1 - idle0) / 2.0);
    std::printf("  simulator CPU, one stream served: %.1f %% of a core\n", 100.0 * (sim1 - sim0) / wall);
    std::printf("  simulator CPU, after the viewer left: %.2f %% of a core\n", 100.0 * (after1 - after0) / 2.0);
  }
  return 0;
}
