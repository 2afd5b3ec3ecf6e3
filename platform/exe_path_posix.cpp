#include "platform/exe_path.h"
#include "platform/exe_path_internal.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace dk {
namespace {
#ifndef DRAVENKIT_INSTALL_BINDIR
#define DRAVENKIT_INSTALL_BINDIR "/usr/bin"
#endif

// Program directories of the system. /bin and /sbin are links into /usr on
// current systems, but /proc/self/exe may still name them on older ones.
const char* const kSystemProgramDirs[] = {
    DRAVENKIT_INSTALL_BINDIR, "/usr/bin", "/usr/sbin", "/usr/local/bin", "/usr/local/sbin", "/bin", "/sbin",
    "/usr/games",
};

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  // getpwuid_r: other threads may look users up at the same time.
  std::vector<char> buf(16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return "";
}

}  // namespace

bool ExecutableDir(std::string* dir) {
  if (ExecutableDirOverride(dir)) return true;
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

std::string PathBesideExecutable(const std::string& dir, const char* name) { return dir + "/" + name; }

bool ProgramDirIsUsers(const std::string& dir) {
  if (!IsDirectory(dir)) return false;
  char* real = ::realpath(dir.c_str(), nullptr);
  const std::string resolved = real ? real : dir;
  std::free(real);
  for (const char* sys : kSystemProgramDirs) {
    if (resolved == sys || dir == sys) return false;
  }
  return ::access(dir.c_str(), W_OK) == 0;
}

bool UserConfigDir(std::string* dir) {
  const std::string home = HomeDir();
  std::string d = UserConfigDirFrom(std::getenv("XDG_CONFIG_HOME"), home.empty() ? nullptr : home.c_str());
  if (d.empty()) return false;
  *dir = d;
  return true;
}

int MakeDirs(const std::string& dir) {
  if (dir.empty()) return ENOENT;
  if (IsDirectory(dir)) return 0;
  const size_t cut = dir.find_last_of('/');
  if (cut != std::string::npos && cut > 0) {
    int err = MakeDirs(dir.substr(0, cut));
    if (err == EEXIST) err = ENOTDIR;  // a file where a parent folder should be
    if (err != 0) return err;
  }
  if (::mkdir(dir.c_str(), 0700) == 0) return 0;
  const int err = errno;
  // Another process may have made it meanwhile.
  return err == EEXIST && IsDirectory(dir) ? 0 : err;
}

}  // namespace dk
