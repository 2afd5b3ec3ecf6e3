// Information query time for one reachable device (ping, system mode,
// firmware version, serial number), repeated:
//   scripts/segment --devices 4 -- build/bin/ops_info_query_bench 10.77.1.1 [port] [runs]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/ops/info_query.h"
#include "platform/ticks.h"

namespace {
class Panel : public MessageSink {
 public:
  void Post(WorkerMessage m) override {
    if (const auto* s = std::get_if<std::string>(&m.payload)) text[m.id - UM_FIRMWARE_VERSION_TEXT] = *s;
  }
  std::string text[3];
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ops_info_query_bench IP [port] [runs]\n");
    return 2;
  }
  VersionQueryParam p{};
  if (ParseIp(argv[1], &p.ip) != 0) return 2;
  p.port = static_cast<uint16_t>(argc > 2 ? std::atoi(argv[2]) : 80);
  int runs = argc > 3 ? std::atoi(argv[3]) : 20;
  HttpGlobalInit();
  std::vector<uint32_t> ms;
  Panel panel;
  dk::StopFlag stop;
  for (int i = 0; i < runs; ++i) {
    dk::TickTimer t;
    t.Start();
    GetVersionThreadProc(p, stop, &panel);
    ms.push_back(t.Elapsed());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("info query of %s: %d runs, min %u ms, median %u ms, max %u ms\n", argv[1], runs, ms.front(),
              ms[ms.size() / 2], ms.back());
  std::printf("  version '%s', serial '%s', mode '%s'\n", panel.text[0].c_str(), panel.text[1].c_str(),
              panel.text[2].c_str());
  return 0;
}
