// The contact sheet's memory against the size of the fleet: dravenkit-cli
// snapshot --all --sheet over 20 and over 200 simulated devices whose stream 1
// is 1920x1080, at the default concurrency (8). Prints the CLI's peak resident
// memory per case and their ratio (goal: the 200-device run within 1.25 times
// the 20-device run), with the pictures taken and the wall time.
//
// Run as root in a private network namespace, e.g.
//   unshare --net --mount --fork sh -c 'mount -t tmpfs tmpfs /run/netns; build/bin/sheet_memory_bench'
// It starts one segment per case itself (scripts/segment); `sheet_memory_bench
// inner N` is the part inside (the CLI as its only child, so the children's
// peak resident memory is the CLI's).
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/bench_paths.h"
#include "platform/process.h"

namespace {

double WallS() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

const char kResultFile[] = "/tmp/sheet_memory_bench.result";

int Inner(int want) {
  const std::string sheet = "/tmp/sheet_memory_bench_" + std::to_string(want) + ".png";
  std::string out;
  dk::ProcessTimings pt;
  pt.limit_ms = 600000;
  pt.max_output = 1 << 22;
  const double t0 = WallS();
  const int rc = dk::ProcessRun({dkbench::ToolPath("dravenkit-cli"), "snapshot", "--all", "--sheet", sheet, "--json"},
                                &out, pt);
  const double wall = WallS() - t0;
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);  // the CLI is the only child waited for
  const auto j = nlohmann::json::parse(out, nullptr, false);
  int devices = 0, pictures = 0, full_hd = 0;
  if (j.is_object())
    for (const auto& d : j["devices"]) {
      ++devices;
      if (d["result"] != "ok") continue;
      ++pictures;
      if (d["width"] == 1920 && d["height"] == 1080) ++full_hd;
    }
  std::printf("  %d of %d devices, %d pictures (%d at 1920x1080), status %d, wall %.1f s, peak RSS %ld KiB\n",
              devices, want, pictures, full_hd, rc, wall, ru.ru_maxrss);
  std::printf("  sheet written to %s\n", sheet.c_str());
  if (FILE* f = std::fopen(kResultFile, "w")) {
    std::fprintf(f, "%ld\n", ru.ru_maxrss);
    std::fclose(f);
  }
  return devices == want ? 0 : 1;
}

long Case(const std::string& self, int devices) {
  std::printf("%d devices, stream 1 at 1920x1080, concurrency 8\n", devices);
  std::fflush(stdout);
  std::remove(kResultFile);
  const std::string cmd = dkbench::SegmentScript() + " --quiet --devices " + std::to_string(devices) +
                          " --video-size 1920x1080 --sim " + dkbench::ToolPath("dravenkit-sim") + " -- " + self +
                          " inner " + std::to_string(devices);
  if (std::system(cmd.c_str()) != 0) return -1;
  long kib = -1;
  if (FILE* f = std::fopen(kResultFile, "r")) {
    if (std::fscanf(f, "%ld", &kib) != 1) kib = -1;
    std::fclose(f);
  }
  return kib;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "inner") == 0) return Inner(std::atoi(argv[2]));
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  const long small = Case(self, 20);
  const long large = Case(self, 200);
  if (small <= 0 || large <= 0) return 1;
  const double ratio = double(large) / double(small);
  std::printf("peak RSS: 20 devices %ld KiB, 200 devices %ld KiB, ratio %.2f (goal: at most 1.25)\n", small, large,
              ratio);
  return ratio <= 1.25 ? 0 : 1;
}
