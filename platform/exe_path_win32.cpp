// File locations on Windows: the executable's folder from GetModuleFileName,
// the user's one under %APPDATA%. Paths are in the ANSI code page, as the
// profile and file functions of the A family take them.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/exe_path.h"
#include "platform/exe_path_internal.h"

namespace dk {
namespace {

bool IsDirectory(const std::string& path) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

int ErrnoOf(DWORD err) {
  switch (err) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace

bool ExecutableDir(std::string* dir) {
  if (ExecutableDirOverride(dir)) return true;
  // A path may exceed MAX_PATH; the buffer grows until the name fits.
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return false;
    if (n < buf.size() - 1) {
      std::string full(buf.data(), n);
      const size_t cut = full.find_last_of("\\/");
      if (cut == std::string::npos || cut == 0) return false;
      // "C:\x.exe" keeps "C:\", as the folder "C:" alone would be the drive's current one.
      *dir = full.substr(0, full[cut - 1] == ':' ? cut + 1 : cut);
      return true;
    }
    if (buf.size() >= 32768) return false;
    buf.resize(buf.size() * 2);
  }
}

std::string PathBesideExecutable(const std::string& dir, const char* name) {
  if (!dir.empty() && IsSeparator(dir.back())) return dir + name;
  return dir + "\\" + name;
}

bool ProgramDirIsUsers(const std::string& dir) {
  if (!IsDirectory(dir)) return false;
  // Whether a file can be made there is what counts (a read-only share, a
  // folder under Program Files without the right): try one, gone on close.
  std::string probe = PathBesideExecutable(dir, "");
  char name[64];
  std::snprintf(name, sizeof name, ".dravenkit-probe-%lu-%lu", ::GetCurrentProcessId(), ::GetTickCount());
  probe += name;
  HANDLE h = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

bool UserConfigDir(std::string* dir) {
  const char* appdata = std::getenv("APPDATA");
  if (appdata && *appdata) {
    *dir = PathBesideExecutable(appdata, "Dravenkit");
    return true;
  }
  const char* profile = std::getenv("USERPROFILE");
  if (profile && *profile) {
    *dir = PathBesideExecutable(profile, "AppData\\Roaming\\Dravenkit");
    return true;
  }
  return false;
}

int MakeDirs(const std::string& dir) {
  if (dir.empty()) return ENOENT;
  if (IsDirectory(dir)) return 0;
  size_t cut = dir.find_last_of("\\/");
  // Stop at a drive ("C:") or the root of a share.
  if (cut != std::string::npos && cut > 0 && dir[cut - 1] != ':' && !IsSeparator(dir[cut - 1])) {
    int err = MakeDirs(dir.substr(0, cut));
    if (err == EEXIST) err = ENOTDIR;  // a file where a parent folder should be
    if (err != 0) return err;
  }
  if (::CreateDirectoryA(dir.c_str(), nullptr)) return 0;
  const int err = ErrnoOf(::GetLastError());
  // Another process may have made it meanwhile.
  return err == EEXIST && IsDirectory(dir) ? 0 : err;
}

}  // namespace dk
