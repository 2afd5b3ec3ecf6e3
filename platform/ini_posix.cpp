// INI files on POSIX: the whole file read, the rules of ini.cpp applied.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/ini.h"
#include "platform/ini_internal.h"

namespace dk {
namespace {

bool ReadAll(const std::string& path, std::string* out, bool* missing) {
  *missing = false;
  out->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *missing = (errno == ENOENT || errno == ENOTDIR);
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

}  // namespace

bool IniReadFile(const std::string& path, std::string* text) {
  bool missing = false;
  return ReadAll(path, text, &missing);
}

size_t IniGetString(const std::string& path, const char* section, const char* key, const char* def, char* buf,
                    size_t size) {
  std::string text;
  if (!IniReadFile(path, &text)) text.clear();
  return IniCopyValue(text.data(), text.size(), section, key, def, buf, size);
}

int32_t IniGetInt(const std::string& path, const char* section, const char* key, int32_t def) {
  if (!section || !key) return def;
  std::string text, value;
  if (!IniReadFile(path, &text) || !IniLookup(text.data(), text.size(), section, key, &value)) return def;
  // An empty value counts as none, as for the profile API.
  if (value.empty() || value[0] == 0) return def;
  return IniParseInt(value.c_str());
}

bool FileWriteAll(const std::string& path, const std::string& text, unsigned create_mode) {
  // Write beside the target and rename over it, so the file is either the old
  // one or the complete new one, never a torn mix.
  struct stat st;
  bool replace = ::stat(path.c_str(), &st) == 0;
  if (replace && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  static std::atomic<unsigned> counter{0};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp%ld.%u", static_cast<long>(::getpid()), counter.fetch_add(1));
    tmp = path + suffix;
    // The umask applies to create_mode, as for any new file.
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(create_mode & 0777));
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = !replace || ::fchmod(fd, st.st_mode & 07777) == 0;
  int reason = errno;
  size_t done = 0;
  while (ok && done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      reason = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
    ok = false;
    reason = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    errno = reason;  // the caller reports why
  }
  return ok;
}

bool IniWriteString(const std::string& path, const char* section, const char* key, const char* value) {
  if (!IniValidName(section) || !IniValidName(key)) return false;
  std::string text;
  bool missing = false;
  if (!ReadAll(path, &text, &missing)) {
    if (!missing) return false;  // present but unreadable: never clobber it
    text.clear();
  }
  return IniSetText(&text, section, key, value) && FileWriteAll(path, text);
}

bool FileReadableByOthers(const std::string& path, unsigned* mode) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (mode) *mode = static_cast<unsigned>(st.st_mode & 07777);
  return (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileDelete(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace dk
