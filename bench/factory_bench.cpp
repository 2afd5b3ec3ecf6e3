// The factory default run at its product timings, inside a simulated segment:
//   scripts/segment --devices 50 --fault reset-ignore=100% -- build/bin/factory_bench idle
//     CPU time of the run's thread over a run in which no device comes back (about 100 s).
//   scripts/segment --devices 500 --reset-delay-ms 5000 -- build/bin/factory_bench back 5000
//     wall time of a run over every device found, all coming back; the argument is the
//     devices' reset time, so the minimum (ten steps plus the reset) can be printed beside it.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/discovery_scan.h"
#include "engine/ops/factory_default_run.h"
#include "platform/ticks.h"

namespace {

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class Collect : public MessageSink {
 public:
  void Post(WorkerMessage msg) override {
    if (const auto* rec = std::get_if<DeviceRecord>(&msg.payload)) {
      if (msg.id == UM_DEVICE_FOUND) {
        devices.push_back(*rec);
        last_found_ms = dk::TickCount() - start;
      }
    }
    if (const auto* r = std::get_if<FactoryStatusReport>(&msg.payload)) {
      if (r->status == 14) settled_ms = dk::TickCount() - start;
    }
  }
  uint32_t start = dk::TickCount();
  uint32_t last_found_ms = 0, settled_ms = 0;
  std::vector<DeviceRecord> devices;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "idle" && mode != "back") {
    std::fprintf(stderr, "usage: factory_bench idle | back RESET_MS\n");
    return 2;
  }
  const double reset_ms = argc > 2 ? std::atof(argv[2]) : 0;
  Collect scan;
  dk::StopFlag stop;
  TalqThreadProc(ScanConfig{}, stop, &scan);
  if (scan.devices.empty()) {
    std::fprintf(stderr, "factory_bench: no device answered (run it inside scripts/segment)\n");
    return 1;
  }
  FactoryDefaultConfig cfg;
  cfg.user = "root";
  cfg.password = "tulp";
  cfg.devices = scan.devices;

  Collect run;
  FactoryRunResult result;
  double thread_cpu = 0;
  const double proc0 = ProcessCpuMs();
  const uint32_t t0 = dk::TickCount();
  run.start = t0;
  std::thread worker([&] {
    const double c0 = ThreadCpuMs();
    NvtFactoryDefaultThreadProc(cfg, stop, &run, &result);
    thread_cpu = ThreadCpuMs() - c0;
  });
  worker.join();
  const double wall = dk::TickCount() - t0;
  const double proc = ProcessCpuMs() - proc0;

  std::printf("devices: %zu, back at 192.168.1.2: %d\n", cfg.devices.size(), result.Complete());
  std::printf("wall time: %.0f ms (ten steps ended at %u ms, last device seen at %u ms)\n", wall, run.settled_ms,
              run.last_found_ms);
  std::printf("run thread CPU: %.1f ms = %.3f %% of one core\n", thread_cpu, 100.0 * thread_cpu / wall);
  std::printf("process CPU (request threads included): %.1f ms\n", proc);
  if (mode == "back") {
    const double minimum = 10000 + reset_ms;
    std::printf("minimum (ten 1 s steps + %.0f ms reset): %.0f ms; over it by %.0f ms\n", reset_ms, minimum,
                wall - minimum);
  }
  return 0;
}
