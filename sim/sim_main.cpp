// dravenkit-sim: a segment of simulated network video devices in one process.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/sim_core.h"
#include "sim/sim_events.h"
#include "sim/sim_options.h"
#include "sim/sim_server.h"

// Leak reports of sanitizer builds: GStreamer, GLib and the fonts behind the
// picture's text keep type tables, caches and plugin state for the process's
// life by design.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgstreamer-1.0.so\n"
         "leak:libgstrtspserver-1.0.so\n"
         "leak:libgstbase-1.0.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libfontconfig.so\n"
         "leak:libpango\n"
         "leak:libharfbuzz.so\n"
         "leak:libx264.so\n";
}

int main(int argc, char** argv) {
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  dksim::SimArgs args;
  std::string err;
  if (dksim::ParseSimArgs(argc, argv, &args, &err) != 0) {
    std::fprintf(stderr, "dravenkit-sim: %s\n%s", err.c_str(), dksim::SimUsage());
    return 2;
  }
  if (args.help) {
    std::fputs(dksim::SimUsage(), stdout);
    return 0;
  }
  if (!args.seed_given) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    args.sim.seed = uint64_t(ts.tv_sec) * 1000003u ^ uint64_t(ts.tv_nsec) ^ uint64_t(getpid());
  }
  std::vector<dksim::SimDeviceConfig> fleet;
  if (dksim::BuildFleet(args, &fleet, &err) != 0) {
    std::fprintf(stderr, "dravenkit-sim: %s\n", err.c_str());
    return 2;
  }
  if (args.dump_fleet) {
    for (const auto& d : fleet) std::printf("%s\n", dksim::FormatFleetLine(d).c_str());
    return 0;
  }
  for (const auto& d : fleet) {
    args.server.web_ports.insert(d.web_port);
    for (uint16_t p : {d.av_port1, d.av_port2, d.av_port3})
      if (p != 0) args.server.av_ports.insert(p);
  }
  args.server.start_us = uint64_t(start.tv_sec) * 1000000u + uint64_t(start.tv_nsec) / 1000u;

  dksim::EventLog log;
  if (!args.event_log.empty() && log.Open(args.event_log) != 0) {
    std::fprintf(stderr, "dravenkit-sim: cannot open event log %s\n", args.event_log.c_str());
    return 1;
  }
  dksim::SimServer server(args.server);
  if (server.Setup(&err) != 0) {
    std::fprintf(stderr, "dravenkit-sim: %s\n", err.c_str());
    return 1;
  }
  dksim::Simulator sim(std::move(fleet), args.sim, &server, &log);
  return server.Run(&sim);
}
