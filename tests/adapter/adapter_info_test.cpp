#include "config/adapter_info.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t o[4] = {a, b, c, d};
  uint32_t v;
  std::memcpy(&v, o, 4);
  return v;
}

// As the kernel prints it: each address as the hex of its in-memory value
// (on this little-endian machine 192.168.1.1 reads 0101A8C0).
const char kRoute[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
    "wlan0\t00000000\t0100000A\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "eth0\t00000000\t0201A8C0\t0003\t0\t0\t200\t00000000\t0\t0\t0\n"
    "eth0\t00000000\t0301A8C0\t0002\t0\t0\t300\t00000000\t0\t0\t0\n"   // not up
    "eth0\t00000000\t0401A8C0\t0001\t0\t0\t300\t00000000\t0\t0\t0\n"   // no gateway flag
    "eth0\tzz000000\t0501A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"      // malformed
    "eth0\t00000000\n";                                                  // cut short

TEST(RouteTable, DefaultGatewaysOfTheInterfaceInOrder) {
  EXPECT_EQ(ParseRouteGateways(kRoute, "eth0"), (std::vector<uint32_t>{Ip(192, 168, 1, 1), Ip(192, 168, 1, 2)}));
  EXPECT_EQ(ParseRouteGateways(kRoute, "wlan0"), (std::vector<uint32_t>{Ip(10, 0, 0, 1)}));
  EXPECT_TRUE(ParseRouteGateways(kRoute, "eth1").empty());
  EXPECT_TRUE(ParseRouteGateways("", "eth0").empty());
  // A route to a subnet is not a gateway even when it has a next hop.
  EXPECT_TRUE(ParseRouteGateways("eth0\t0000000A\t0101A8C0\t0003\t0\t0\t0\t000000FF\t0\t0\t0\n", "eth0").empty());
}

TEST(ResolvConf, Ipv4NameserversInFileOrder) {
  const char text[] =
      "# generated\n"
      "; other comment style\n"
      "search example.org\n"
      "nameserver 10.1.2.3\n"
      "nameserver fe80::1%eth0\n"
      "  nameserver\t8.8.8.8   # trailing words ignored\n"
      "nameserver 300.1.1.1\n"
      "nameserver\n"
      "#nameserver 9.9.9.9\n"
      "nameservers 7.7.7.7\n"
      "nameserver 1.1.1.1\r\n"
      "options edns0\n"
      "nameserver 127.0.0.53";
  EXPECT_EQ(ParseResolvNameservers(text),
            (std::vector<uint32_t>{Ip(10, 1, 2, 3), Ip(8, 8, 8, 8), Ip(1, 1, 1, 1), Ip(127, 0, 0, 53)}));
  EXPECT_TRUE(ParseResolvNameservers("").empty());
}

TEST(ResolvConf, CrLfLineEnds) {
  EXPECT_EQ(ParseResolvNameservers("nameserver 1.1.1.1\r\nnameserver 2.2.2.2\r\n"),
            (std::vector<uint32_t>{Ip(1, 1, 1, 1), Ip(2, 2, 2, 2)}));
}

dk::NetInterface If(const char* name, bool up, bool loopback, std::vector<dk::InterfaceAddress> a, uint32_t index) {
  dk::NetInterface n;
  n.name = name;
  n.up = up;
  n.loopback = loopback;
  n.ipv4 = std::move(a);
  n.index = index;
  return n;
}

TEST(AdapterList, SkipsLoopbackAndDownAndKeepsSystemOrder) {
  const std::vector<dk::NetInterface> ifs = {
      If("lo", true, true, {{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)}}, 1),
      If("eth9", false, false, {{Ip(172, 16, 0, 5), Ip(255, 255, 0, 0)}}, 2),
      If("eth0", true, false, {{Ip(192, 168, 1, 20), Ip(255, 255, 255, 0)}, {Ip(10, 5, 0, 1), Ip(255, 0, 0, 0)}}, 3),
      If("wlan0", true, false, {{Ip(10, 0, 0, 7), Ip(255, 255, 255, 0)}}, 4),
  };
  const auto list = BuildAdapterList(ifs, kRoute, "nameserver 10.1.2.3\nnameserver 10.1.2.4\n");
  ASSERT_EQ(list.size(), 2u);
  const CAdapterInfo& a = list[0];
  EXPECT_EQ(a.adapter_name, "eth0");
  EXPECT_EQ(a.index, 3u);
  EXPECT_EQ(a.current_ip, "192.168.1.20");
  EXPECT_EQ(a.current_subnet_mask, "255.255.255.0");
  EXPECT_EQ(a.GetIPAddress(0), "192.168.1.20");
  EXPECT_EQ(a.GetSubnetMask(0), "255.255.255.0");
  EXPECT_EQ(a.GetIPAddress(1), "10.5.0.1");
  EXPECT_EQ(a.GetSubnetMask(1), "255.0.0.0");
  EXPECT_EQ(a.GetIPAddress(2), "");
  EXPECT_EQ(a.GetSubnetMask(2), "");
  EXPECT_EQ(a.GetGateway(0), "192.168.1.1");
  EXPECT_EQ(a.GetGateway(1), "192.168.1.2");
  EXPECT_EQ(a.GetGateway(2), "");
  EXPECT_EQ(a.GetDnsServer(0), "10.1.2.3");
  EXPECT_EQ(a.GetDnsServer(1), "10.1.2.4");
  EXPECT_EQ(a.GetDnsServer(2), "");
  EXPECT_EQ(list[1].adapter_name, "wlan0");
  EXPECT_EQ(list[1].GetGateway(0), "10.0.0.1");

  LocalAdapterInfo info;
  ASSERT_EQ(LocalAdapterInfoFrom(list, &info), 0);
  EXPECT_TRUE(info.found);
  EXPECT_EQ(info.adapter_count, 2);
  EXPECT_EQ(info.adapter_name, "eth0");
  EXPECT_EQ(info.ip, "192.168.1.20");
  EXPECT_EQ(info.subnet_mask, "255.255.255.0");
  EXPECT_EQ(info.gateway, "192.168.1.1");
  EXPECT_EQ(info.dns_server, "10.1.2.3");
}

TEST(AdapterList, AdapterWithoutGatewayOrDnsLeavesThemEmpty) {
  const auto list = BuildAdapterList({If("eth1", true, false, {{Ip(192, 168, 7, 2), Ip(255, 255, 255, 0)}}, 2)},
                                     kRoute, "# no servers\n");
  LocalAdapterInfo info;
  ASSERT_EQ(LocalAdapterInfoFrom(list, &info), 0);
  EXPECT_EQ(info.ip, "192.168.7.2");
  EXPECT_EQ(info.gateway, "");
  EXPECT_EQ(info.dns_server, "");
}

TEST(AdapterList, AdapterWithoutAddressIsListedAsZeroAndTheAddressedOneIsShown) {
  dk::NetInterface dhcp = If("eth0", true, false, {}, 2);
  dhcp.broadcast = true;
  dk::NetInterface tunnel = If("tun0", true, false, {}, 3);  // no address, no broadcast: not an adapter
  const auto list = BuildAdapterList(
      {dhcp, tunnel, If("eth1", true, false, {{Ip(10, 77, 0, 1), Ip(255, 255, 0, 0)}}, 4)}, kRoute, "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].current_ip, "0.0.0.0");
  EXPECT_EQ(list[0].current_subnet_mask, "0.0.0.0");
  EXPECT_EQ(list[0].GetIPAddress(0), "0.0.0.0");
  EXPECT_EQ(list[0].GetSubnetMask(0), "0.0.0.0");
  EXPECT_EQ(FirstAdapter(list), 1u);
  LocalAdapterInfo info;
  ASSERT_EQ(LocalAdapterInfoFrom(list, &info), 0);
  EXPECT_EQ(info.adapter_name, "eth1");
  EXPECT_EQ(info.ip, "10.77.0.1");
  EXPECT_EQ(info.adapter_count, 2);
  // Only adapters without an address: the first is shown, as 0.0.0.0.
  ASSERT_EQ(LocalAdapterInfoFrom({list[0]}, &info), 0);
  EXPECT_EQ(info.ip, "0.0.0.0");
  EXPECT_EQ(info.subnet_mask, "0.0.0.0");
}

TEST(AdapterList, NoAdapterIsReported) {
  const auto list = BuildAdapterList({If("lo", true, true, {{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)}}, 1)}, kRoute, "");
  EXPECT_TRUE(list.empty());
  LocalAdapterInfo info;
  info.found = true;
  info.ip = "stale";
  EXPECT_EQ(LocalAdapterInfoFrom(list, &info), -1);
  EXPECT_FALSE(info.found);
  EXPECT_EQ(info.ip, "");
  EXPECT_EQ(info.adapter_count, 0);
}

}  // namespace
