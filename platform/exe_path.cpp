#include "platform/exe_path.h"

#include <unistd.h>

#include <mutex>

namespace dk {
namespace {
std::mutex g_mu;
std::string g_override;
}  // namespace

bool ExecutableDir(std::string* dir) {
  {
    std::lock_guard<std::mutex> lk(g_mu);
    if (!g_override.empty()) {
      *dir = g_override;
      return true;
    }
  }
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return false;
  buf[n] = 0;
  std::string full(buf, static_cast<size_t>(n));
  // Position 0 is never a cut point, so "/x" keeps "/" rather than "".
  size_t cut = full.find_last_of('/');
  if (cut == std::string::npos || cut == 0) return false;
  *dir = full.substr(0, cut);
  return true;
}

void SetExecutableDirOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lk(g_mu);
  g_override = dir;
}

std::string PathBesideExecutable(const std::string& dir, const char* name) { return dir + "/" + name; }

}  // namespace dk
