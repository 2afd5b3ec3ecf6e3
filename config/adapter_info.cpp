#include "config/adapter_info.h"

#include <cstdio>
#include <cstring>
#include <sstream>

const char kNoAdaptersText[] = "No Network Adapters Found on System.";

namespace {

std::string Dotted(uint32_t ip) {
  uint8_t o[4];
  std::memcpy(o, &ip, 4);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", o[0], o[1], o[2], o[3]);
  return buf;
}

// Strict "a.b.c.d", each 0-255.
bool ParseDotted(const std::string& s, uint32_t* ip) {
  uint8_t o[4];
  size_t p = 0;
  for (int i = 0; i < 4; ++i) {
    int v = 0, digits = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
      v = v * 10 + (s[p] - '0');
      if (++digits > 3 || v > 255) return false;
      ++p;
    }
    if (digits == 0) return false;
    o[i] = static_cast<uint8_t>(v);
    if (i < 3) {
      if (p >= s.size() || s[p] != '.') return false;
      ++p;
    }
  }
  if (p != s.size()) return false;
  std::memcpy(ip, o, 4);
  return true;
}

// 1-8 hex digits, the whole token.
bool ParseHex32(const std::string& s, uint32_t* v) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t r = 0;
  for (char ch : s) {
    int d;
    if (ch >= '0' && ch <= '9')
      d = ch - '0';
    else if (ch >= 'A' && ch <= 'F')
      d = ch - 'A' + 10;
    else if (ch >= 'a' && ch <= 'f')
      d = ch - 'a' + 10;
    else
      return false;
    r = (r << 4) | static_cast<uint32_t>(d);
  }
  *v = r;
  return true;
}

const std::string& At(const std::vector<std::string>& v, size_t i) {
  static const std::string empty;
  return i < v.size() ? v[i] : empty;
}

}  // namespace

std::string CAdapterInfo::GetIPAddress(size_t i) const { return i < addresses.size() ? addresses[i].first : ""; }
std::string CAdapterInfo::GetSubnetMask(size_t i) const { return i < addresses.size() ? addresses[i].second : ""; }
std::string CAdapterInfo::GetGateway(size_t i) const { return At(gateways, i); }
std::string CAdapterInfo::GetDnsServer(size_t i) const { return At(dns_servers, i); }

std::vector<uint32_t> ParseRouteGateways(const std::string& route_text, const std::string& iface) {
  constexpr uint32_t kRouteUp = 0x1, kRouteGateway = 0x2;
  std::vector<uint32_t> out;
  std::istringstream lines(route_text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, dest, gw, flags, refcnt, use, metric, mask;
    if (!(fields >> name >> dest >> gw >> flags >> refcnt >> use >> metric >> mask)) continue;
    if (name != iface) continue;
    uint32_t d, g, f, m;
    // The kernel prints each address as the hexadecimal of its in-memory
    // 32-bit value, so the parsed value already has the octets in order.
    if (!ParseHex32(dest, &d) || !ParseHex32(gw, &g) || !ParseHex32(flags, &f) || !ParseHex32(mask, &m)) continue;
    if (d != 0 || m != 0 || (f & (kRouteUp | kRouteGateway)) != (kRouteUp | kRouteGateway)) continue;
    out.push_back(g);
  }
  return out;
}

std::vector<uint32_t> ParseResolvNameservers(const std::string& resolv_text) {
  std::vector<uint32_t> out;
  std::istringstream lines(resolv_text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string key, value;
    if (!(fields >> key)) continue;
    if (key != "nameserver" || !(fields >> value)) continue;
    uint32_t ip;
    if (ParseDotted(value, &ip)) out.push_back(ip);
  }
  return out;
}

std::vector<CAdapterInfo> BuildAdapterList(const std::vector<dk::NetInterface>& interfaces,
                                           const std::string& route_text, const std::string& resolv_text) {
  std::vector<std::string> dns;
  for (uint32_t ip : ParseResolvNameservers(resolv_text)) dns.push_back(Dotted(ip));
  std::vector<CAdapterInfo> out;
  for (const auto& ni : interfaces) {
    if (!dk::IsDeviceAdapter(ni)) continue;
    CAdapterInfo a;
    a.adapter_name = ni.name;
    a.description = ni.description.empty() ? ni.name : ni.description;
    a.index = ni.index;
    a.dhcp_enabled = ni.dhcp_enabled ? 1 : 0;
    if (!ni.ipv4.empty()) {
      a.current_ip = Dotted(ni.ipv4[0].ip);
      a.current_subnet_mask = Dotted(ni.ipv4[0].mask);
    }
    for (const auto& ia : ni.ipv4) a.addresses.emplace_back(Dotted(ia.ip), Dotted(ia.mask));
    // No address yet (no DHCP server, no cable): the one entry is 0.0.0.0.
    if (a.addresses.empty()) a.addresses.emplace_back("0.0.0.0", "0.0.0.0");
    // Windows knows them per adapter; elsewhere they come from the system files.
    for (uint32_t g : ni.gateways) a.gateways.push_back(Dotted(g));
    for (uint32_t g : ParseRouteGateways(route_text, ni.name)) a.gateways.push_back(Dotted(g));
    if (ni.dns_servers.empty()) {
      a.dns_servers = dns;
    } else {
      for (uint32_t d : ni.dns_servers) a.dns_servers.push_back(Dotted(d));
    }
    out.push_back(std::move(a));
  }
  return out;
}

int32_t GetAdapterList(std::vector<CAdapterInfo>* out) {
  out->clear();
  std::vector<dk::NetInterface> interfaces;
  if (dk::ListInterfaces(&interfaces) < 0) return -1;
  std::string route, resolv;
  // Either file may be missing (no routes, no resolver): the lists stay empty.
  (void)dk::ReadSystemTextFile(dk::kRouteTablePath, &route);
  (void)dk::ReadSystemTextFile(dk::kResolverConfPath, &resolv);
  *out = BuildAdapterList(interfaces, route, resolv);
  return static_cast<int32_t>(out->size());
}

size_t FirstAdapter(const std::vector<CAdapterInfo>& adapters) {
  for (size_t i = 0; i < adapters.size(); ++i)
    if (adapters[i].current_ip != "0.0.0.0") return i;
  return 0;
}

int32_t LocalAdapterInfoFrom(const std::vector<CAdapterInfo>& adapters, LocalAdapterInfo* out) {
  *out = LocalAdapterInfo{};
  out->adapter_count = static_cast<int32_t>(adapters.size());
  if (adapters.empty()) return -1;
  const CAdapterInfo& a = adapters[FirstAdapter(adapters)];
  out->found = true;
  out->ip = a.GetIPAddress(0);
  out->subnet_mask = a.GetSubnetMask(0);
  out->gateway = a.GetGateway(0);
  out->dns_server = a.GetDnsServer(0);
  out->adapter_name = a.adapter_name;
  out->index = a.index;
  out->dns_servers = a.dns_servers;
  out->gateways = a.gateways;
  return 0;
}

int32_t GetLocalAdapterInfo(LocalAdapterInfo* out) {
  std::vector<CAdapterInfo> adapters;
  if (GetAdapterList(&adapters) < 0) {
    *out = LocalAdapterInfo{};
    return -1;
  }
  return LocalAdapterInfoFrom(adapters, out);
}
