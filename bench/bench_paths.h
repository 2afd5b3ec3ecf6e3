#pragma once
// The programs a benchmark starts. The build puts every program in one
// folder, so the simulator and the CLI are found beside the benchmark; only
// bench_paths.cpp has the source tree's path compiled in, so the benchmarks
// themselves compile the same in a clone at another path (and hit the
// compiler cache there).
#include <string>

namespace dkbench {

// scripts/segment of the source tree this build came from.
std::string SegmentScript();

// name beside the running benchmark; name alone (found through PATH) when the
// benchmark's own path is unknown.
std::string ToolPath(const char* name);

}  // namespace dkbench
