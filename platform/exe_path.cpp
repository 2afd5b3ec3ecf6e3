// The parts of the file locations that are the same on every system.
#include <mutex>

#include "platform/exe_path.h"
#include "platform/exe_path_internal.h"

namespace dk {
namespace {
std::mutex g_mu;
std::string g_override;
}  // namespace

bool ExecutableDirOverride(std::string* dir) {
  std::lock_guard<std::mutex> lk(g_mu);
  if (g_override.empty()) return false;
  *dir = g_override;
  return true;
}

void SetExecutableDirOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lk(g_mu);
  g_override = dir;
}

std::string UserConfigDirFrom(const char* xdg_config_home, const char* home) {
  // A relative XDG_CONFIG_HOME is invalid and is to be ignored.
  if (xdg_config_home && xdg_config_home[0] == '/') return std::string(xdg_config_home) + "/dravenkit";
  if (home && home[0] == '/') {
    std::string h = home;
    if (h.size() > 1 && h.back() == '/') h.pop_back();
    return (h == "/" ? std::string() : h) + "/.config/dravenkit";
  }
  return "";
}

bool ConfigDir(std::string* dir) {
  if (ExecutableDirOverride(dir)) return true;
  std::string exe;
  if (ExecutableDir(&exe) && ProgramDirIsUsers(exe)) {
    *dir = exe;
    return true;
  }
  return UserConfigDir(dir);
}

}  // namespace dk
