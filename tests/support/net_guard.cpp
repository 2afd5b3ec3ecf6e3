#include "tests/support/net_guard.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dktest {

std::string WhyNoSending() {
  const char* marker = std::getenv("DK_TEST_NETNS");
  if (!marker || !*marker)
    return "not in a network namespace made by the test scripts (run through scripts/test or scripts/private-net)";
#ifdef _WIN32
  // Under Wine (scripts/windows test) the Linux /proc of this process is
  // visible through the root drive; a Windows program cannot read the
  // namespace's link, so the marker and the checks of routes and links below
  // decide. On Windows itself there is no /proc: nothing is sent.
#else
  char self[128];
  const ssize_t n = readlink("/proc/self/ns/net", self, sizeof self - 1);
  if (n <= 0) return "cannot tell which network namespace this is";
  self[n] = 0;
  if (std::string(marker) != self)
    return std::string("DK_TEST_NETNS names ") + marker + ", but this is " + self;
#endif
  // /proc/self/net shows the namespace we are in.
  std::ifstream route("/proc/self/net/route");
  if (!route) return "cannot read /proc/self/net/route";
  std::string line;
  std::getline(route, line);  // header
  while (std::getline(route, line)) {
    std::istringstream f(line);
    std::string iface, dest;
    f >> iface >> dest;
    if (dest == "00000000") return "this namespace has a default route (through " + iface + ")";
  }
  std::ifstream dev("/proc/self/net/dev");
  if (!dev) return "cannot read /proc/self/net/dev";
  while (std::getline(dev, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    name.erase(0, name.find_first_not_of(' '));
    if (name != "lo" && name.rfind("dk", 0) != 0) return "this namespace has the interface " + name;
  }
  return "";
}

}  // namespace dktest
