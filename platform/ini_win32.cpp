// INI files on Windows: the keys through the private-profile API itself
// (GetPrivateProfileString, GetPrivateProfileInt, WritePrivateProfileString);
// whole-file reads and writes through the file API.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/ini.h"
#include "platform/ini_internal.h"

namespace dk {
namespace {

// The profile API looks a bare file name up in the Windows folder; ours are
// always files of ours, so a relative path is made full first.
std::string FullPath(const std::string& path) {
  DWORD n = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::vector<char> buf(n + 1);
  n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
  return n == 0 || n >= buf.size() ? path : std::string(buf.data(), n);
}

bool ReadAll(const std::string& path, std::string* out, bool* missing) {
  *missing = false;
  out->clear();
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    *missing = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(h);
    return false;
  }
  char buf[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      ::CloseHandle(h);
      return false;
    }
    if (n == 0) break;
    out->append(buf, n);
  }
  ::CloseHandle(h);
  return true;
}

int ErrnoOf(DWORD err) {
  switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace

bool IniReadFile(const std::string& path, std::string* text) {
  bool missing = false;
  return ReadAll(path, text, &missing);
}

size_t IniGetString(const std::string& path, const char* section, const char* key, const char* def, char* buf,
                    size_t size) {
  if (!buf || size == 0) return 0;
  // The API takes a null section or key as "list the names": never ours.
  if (!section || !key) return IniCopyValue(nullptr, 0, "", "", def, buf, size);
  const DWORD cap = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  return ::GetPrivateProfileStringA(section, key, def ? def : "", buf, cap, FullPath(path).c_str());
}

int32_t IniGetInt(const std::string& path, const char* section, const char* key, int32_t def) {
  if (!section || !key) return def;
  return static_cast<int32_t>(::GetPrivateProfileIntA(section, key, def, FullPath(path).c_str()));
}

bool IniWriteString(const std::string& path, const char* section, const char* key, const char* value) {
  if (!IniValidName(section) || !IniValidName(key)) return false;
  const std::string v = IniValueForWrite(value);
  return ::WritePrivateProfileStringA(section, key, v.c_str(), FullPath(path).c_str()) != 0;
}

// Windows has no permission bits of that kind: a file in the user's folder is
// the user's by its folder's access list, so create_mode is not used.
bool FileWriteAll(const std::string& path, const std::string& text, unsigned /*create_mode*/) {
  // Write beside the target and move it over, so the file is either the old
  // one or the complete new one, never a torn mix.
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = EISDIR;
    return false;
  }
  static std::atomic<unsigned> counter{0};
  std::string tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp%lu.%u", ::GetCurrentProcessId(), counter.fetch_add(1));
    tmp = path + suffix;
    h = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
      errno = ErrnoOf(::GetLastError());
      return false;
    }
  }
  if (h == INVALID_HANDLE_VALUE) {
    errno = EEXIST;
    return false;
  }
  bool ok = true;
  int reason = 0;
  size_t done = 0;
  while (ok && done < text.size()) {
    const size_t left = text.size() - done;
    DWORD n = 0;
    if (!::WriteFile(h, text.data() + done, left > 1u << 30 ? 1u << 30 : static_cast<DWORD>(left), &n, nullptr)) {
      ok = false;
      reason = ErrnoOf(::GetLastError());
      break;
    }
    done += n;
  }
  if (!::CloseHandle(h) && ok) {
    ok = false;
    reason = EIO;
  }
  if (ok && !::MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    reason = ErrnoOf(::GetLastError());
  }
  if (!ok) {
    ::DeleteFileA(tmp.c_str());
    errno = reason;  // the caller reports why
  }
  return ok;
}

bool FileReadableByOthers(const std::string&, unsigned* mode) {
  if (mode) *mode = 0;
  return false;  // no group and other bits to read: the folder's access list decides
}

bool FileExists(const std::string& path) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileDelete(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

}  // namespace dk
