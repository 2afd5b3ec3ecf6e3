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
  bool broadcast = false;              // the link can carry broadcasts
  std::vector<InterfaceAddress> ipv4;  // in the system's order; empty when none is assigned yet
  // Known per adapter on Windows (IP Helper); empty elsewhere, where the
  // routing table and the resolver's file give them for the whole system.
  std::string description;
  bool dhcp_enabled = false;
  std::vector<uint32_t> gateways;     // network byte order
  std::vector<uint32_t> dns_servers;  // network byte order
};

// Every interface of the system, in interface order, with its IPv4
// addresses. Returns the count, or -1 when the system cannot list them.
int ListInterfaces(std::vector<NetInterface>* out);

// An interface that carries IPv4 traffic to devices: up, not loopback, and
// either addressed or broadcast-capable (a card still waiting for DHCP).
bool IsDeviceAdapter(const NetInterface& ni);

// Whole text of a small system file (routing table, resolver configuration);
// false when it cannot be read.
bool ReadSystemTextFile(const char* path, std::string* text);

extern const char kRouteTablePath[];    // "/proc/net/route"; "" on Windows
extern const char kResolverConfPath[];  // "/etc/resolv.conf"; "" on Windows

}  // namespace dk
