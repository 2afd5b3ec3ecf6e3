#pragma once
// The PC's own network interfaces, as the operating system lists them.
#include <cstdint>
#include <string>
#include <vector>

namespace dk {

struct InterfaceAddress {
  uint32_t ip = 0;    // network byte order
  uint32_t mask = 0;  // network byte order
};

struct NetInterface {
  std::string name;
  uint32_t index = 0;  // interface index, 0 when unknown
  bool up = false;
  bool loopback = false;
  std::vector<InterfaceAddress> ipv4;  // in the system's order
};

// Every interface with at least one IPv4 address, in the system's order.
// Returns the count, or -1 when the system cannot list them.
int ListInterfaces(std::vector<NetInterface>* out);

// Whole text of a small system file (routing table, resolver configuration);
// false when it cannot be read.
bool ReadSystemTextFile(const char* path, std::string* text);

extern const char kRouteTablePath[];    // "/proc/net/route"
extern const char kResolverConfPath[];  // "/etc/resolv.conf"

}  // namespace dk
