#pragma once
// The PC's own adapter information shown in the "Local network info." group.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/adapters.h"

extern const char kNoAdaptersText[];  // "No Network Adapters Found on System."

// What is known of one adapter. Texts are dotted quads.
class CAdapterInfo {
 public:
  std::string adapter_name;
  std::string description;
  std::string current_ip = "0.0.0.0";
  std::string current_subnet_mask = "0.0.0.0";
  uint32_t index = 0;
  uint32_t type = 0;
  int32_t dhcp_enabled = 0;  // known on Windows only: 0 elsewhere
  std::vector<std::string> dns_servers;
  std::vector<std::pair<std::string, std::string>> addresses;  // (IP address, subnet mask)
  std::vector<std::string> gateways;

  // Index-th entry of the list, counted from 0; "" past the end.
  std::string GetIPAddress(size_t i) const;
  std::string GetSubnetMask(size_t i) const;
  std::string GetGateway(size_t i) const;
  std::string GetDnsServer(size_t i) const;
};

struct LocalAdapterInfo {
  bool found = false;
  std::string ip, subnet_mask, gateway, dns_server;
  // The rest of the first adapter's information, and how many there were.
  std::string adapter_name;
  uint32_t index = 0;
  int32_t adapter_count = 0;
  std::vector<std::string> dns_servers;
  std::vector<std::string> gateways;
};

// Default gateways (destination 0.0.0.0, flags up and gateway) of iface in
// /proc/net/route text, in table order. Malformed lines are skipped.
std::vector<uint32_t> ParseRouteGateways(const std::string& route_text, const std::string& iface);
// IPv4 "nameserver" addresses of resolv.conf text, in file order; comments,
// other keywords and IPv6 servers are skipped.
std::vector<uint32_t> ParseResolvNameservers(const std::string& resolv_text);

// One record per non-loopback interface that is up (dk::IsDeviceAdapter), in
// interface order; one without an address yet has the single entry 0.0.0.0, with the gateways of the route text and the
// resolver's servers (one list for the whole system on this platform).
std::vector<CAdapterInfo> BuildAdapterList(const std::vector<dk::NetInterface>& interfaces,
                                           const std::string& route_text, const std::string& resolv_text);

// Every adapter of the PC; the count (0 or more), or -1 when the system could
// not list them.
int32_t GetAdapterList(std::vector<CAdapterInfo>* out);

// The adapter the panel shows: the first one with an IPv4 address, in
// interface order (the one that carries the devices' traffic when a card is
// still waiting for DHCP); the first of all when none has one.
size_t FirstAdapter(const std::vector<CAdapterInfo>& adapters);

// The first adapter's values (FirstAdapter).
// 0 and found = true when there is one; -1 and found = false when there is
// none (or the list could not be read): the caller shows kNoAdaptersText.
int32_t GetLocalAdapterInfo(LocalAdapterInfo* out);
// The same, from given inputs (tests).
int32_t LocalAdapterInfoFrom(const std::vector<CAdapterInfo>& adapters, LocalAdapterInfo* out);
