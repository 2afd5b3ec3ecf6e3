#include "platform/adapters.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace dk {

const char kRouteTablePath[] = "/proc/net/route";
const char kResolverConfPath[] = "/etc/resolv.conf";

int ListInterfaces(std::vector<NetInterface>* out) {
  out->clear();
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return -1;
  // The link-layer entries come first, one per interface in index order, so
  // interfaces without an IPv4 address are listed too, in that order.
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    NetInterface* ni = nullptr;
    for (auto& known : *out)
      if (known.name == a->ifa_name) ni = &known;
    if (!ni) {
      out->emplace_back();
      ni = &out->back();
      ni->name = a->ifa_name;
      ni->index = ::if_nametoindex(a->ifa_name);
      ni->up = (a->ifa_flags & IFF_UP) != 0;
      ni->loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
      ni->broadcast = (a->ifa_flags & IFF_BROADCAST) != 0;
    }
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    InterfaceAddress ia;
    std::memcpy(&ia.ip, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr, 4);
    if (a->ifa_netmask && a->ifa_netmask->sa_family == AF_INET)
      std::memcpy(&ia.mask, &reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr, 4);
    ni->ipv4.push_back(ia);
  }
  ::freeifaddrs(list);
  return static_cast<int>(out->size());
}

}  // namespace dk
