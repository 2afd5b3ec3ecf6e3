#include "tests/support/tool_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace dktest {
namespace {

std::string BesideSelf(const char* name) {
#ifdef _WIN32
  char buf[32768];
  const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return "";
  const std::string self(buf, n);
  const size_t cut = self.find_last_of("\\/");
  return cut == std::string::npos ? "" : self.substr(0, cut + 1) + name + ".exe";
#else
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  const std::string self(buf, static_cast<size_t>(n));
  const size_t cut = self.find_last_of('/');
  return cut == std::string::npos ? "" : self.substr(0, cut + 1) + name;
#endif
}

}  // namespace

const std::string& CliPath() {
  static const std::string path = BesideSelf("dravenkit-cli");
  return path;
}

}  // namespace dktest
