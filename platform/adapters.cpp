// The parts of the adapter list that are the same on every system.
#include <cstdio>

#include "platform/adapters.h"

namespace dk {

bool IsDeviceAdapter(const NetInterface& ni) {
  return ni.up && !ni.loopback && (!ni.ipv4.empty() || ni.broadcast);
}

bool ReadSystemTextFile(const char* path, std::string* text) {
  text->clear();
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  // These files are small; the cap only guards against a runaway read.
  constexpr size_t kMax = 1 << 20;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text->size() < kMax) text->append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

}  // namespace dk
