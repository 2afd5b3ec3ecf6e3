// The adapter list from the IP Helper API: GetAdaptersInfo for names,
// addresses, gateways and DHCP, GetPerAdapterInfo for each adapter's DNS
// servers, and the interface table for whether an adapter is up.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "platform/adapters.h"

namespace dk {

const char kRouteTablePath[] = "";
const char kResolverConfPath[] = "";

namespace {

// A dotted quad as IP Helper writes it, in network byte order; false for an
// empty or malformed text.
bool ParseQuad(const char* text, uint32_t* ip) {
  in_addr a{};
  if (!text || !*text || ::inet_pton(AF_INET, text, &a) != 1) return false;
  std::memcpy(ip, &a.s_addr, 4);
  return true;
}

// IP Helper's two-call pattern: ask for the size, then fill a zeroed buffer
// of that size. ERROR_BUFFER_OVERFLOW may repeat while adapters come and go.
template <typename Call>
bool FillBuffer(std::vector<unsigned char>* buf, Call call) {
  ULONG size = 15000;
  for (int attempt = 0; attempt < 4; ++attempt) {
    buf->assign(size, 0);
    const DWORD rc = call(buf->data(), &size);
    if (rc == ERROR_SUCCESS) return true;
    if (rc != ERROR_BUFFER_OVERFLOW) return false;
  }
  return false;
}

std::vector<uint32_t> DnsServersOf(DWORD index) {
  std::vector<uint32_t> out;
  std::vector<unsigned char> buf;
  if (!FillBuffer(&buf, [index](unsigned char* p, ULONG* size) {
        return ::GetPerAdapterInfo(index, reinterpret_cast<IP_PER_ADAPTER_INFO*>(p), size);
      }))
    return out;
  const auto* info = reinterpret_cast<const IP_PER_ADAPTER_INFO*>(buf.data());
  for (const IP_ADDR_STRING* d = &info->DnsServerList; d; d = d->Next) {
    uint32_t ip;
    if (ParseQuad(d->IpAddress.String, &ip) && ip != 0) out.push_back(ip);
  }
  return out;
}

// The operational state of an interface; true when it cannot be read (an
// adapter GetAdaptersInfo lists is taken as present).
bool InterfaceUp(DWORD index) {
  MIB_IF_ROW2 row{};
  row.InterfaceIndex = index;
  if (::GetIfEntry2(&row) != NO_ERROR) return true;
  return row.OperStatus == IfOperStatusUp;
}

}  // namespace

int ListInterfaces(std::vector<NetInterface>* out) {
  out->clear();
  std::vector<unsigned char> buf;
  ULONG size = 0;
  DWORD first = ::GetAdaptersInfo(nullptr, &size);
  if (first == ERROR_NO_DATA) return 0;  // no adapter at all
  if (!FillBuffer(&buf, [](unsigned char* p, ULONG* sz) {
        return ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(p), sz);
      }))
    return -1;
  for (const auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buf.data()); a; a = a->Next) {
    NetInterface ni;
    ni.name = a->AdapterName;
    ni.description = a->Description;
    ni.index = a->Index;
    ni.loopback = a->Type == MIB_IF_TYPE_LOOPBACK;
    ni.up = InterfaceUp(a->Index);
    // Ethernet and wireless cards carry broadcasts; a point-to-point link not.
    ni.broadcast = a->Type != MIB_IF_TYPE_PPP && !ni.loopback;
    ni.dhcp_enabled = a->DhcpEnabled != 0;
    for (const IP_ADDR_STRING* s = &a->IpAddressList; s; s = s->Next) {
      InterfaceAddress ia;
      // 0.0.0.0 is how IP Helper lists an adapter without an address yet.
      if (!ParseQuad(s->IpAddress.String, &ia.ip) || ia.ip == 0) continue;
      (void)ParseQuad(s->IpMask.String, &ia.mask);
      ni.ipv4.push_back(ia);
    }
    for (const IP_ADDR_STRING* g = &a->GatewayList; g; g = g->Next) {
      uint32_t ip;
      if (ParseQuad(g->IpAddress.String, &ip) && ip != 0) ni.gateways.push_back(ip);
    }
    ni.dns_servers = DnsServersOf(a->Index);
    out->push_back(std::move(ni));
  }
  return static_cast<int>(out->size());
}

}  // namespace dk
