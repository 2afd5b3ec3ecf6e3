#include "bench/bench_paths.h"

#include "platform/exe_path.h"

#ifndef DK_SEGMENT_SCRIPT
#define DK_SEGMENT_SCRIPT "scripts/segment"
#endif

namespace dkbench {

std::string SegmentScript() { return DK_SEGMENT_SCRIPT; }

std::string ToolPath(const char* name) {
  std::string dir;
  if (!dk::ExecutableDir(&dir)) return name;
  return dk::PathBesideExecutable(dir, name);
}

}  // namespace dkbench
