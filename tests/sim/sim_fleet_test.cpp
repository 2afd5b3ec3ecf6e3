// Fleet generation, the fleet file, fault shares and the command line.
#include "sim/sim_fleet.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/devices/device_record.h"
#include "sim/sim_options.h"
#include "tests/support/temp_dir.h"

using namespace dksim;

namespace {
std::string Ip(uint32_t ip) {
  char b[16];
  return FormatIp(ip, b);
}
}  // namespace

TEST(SimFleet, GeneratedFleetIsDistinctAndMixed) {
  const FleetDefaults def;
  const auto fleet = GenerateFleet(5000, def);
  ASSERT_EQ(fleet.size(), 5000u);
  std::set<uint64_t> macs;
  std::set<uint32_t> ips;
  int encoders = 0, decoders = 0, three = 0, one = 0;
  for (const auto& d : fleet) {
    uint64_t k = 0;
    for (int i = 0; i < 6; ++i) k = (k << 8) | d.mac[i];
    macs.insert(k);
    ips.insert(d.ip);
    const uint8_t last = IpOctet(d.ip, 3);
    EXPECT_NE(last, 0);
    EXPECT_NE(last, 255);
    EXPECT_EQ(IpOctet(d.ip, 0), 10);
    EXPECT_EQ(IpOctet(d.ip, 1), 77);
    (d.mode == SystemMode::kEncoder ? encoders : decoders)++;
    if (d.items == kItemMaskAll) ++three;
    if (d.items == (kItemMaskWeb | kItemMaskAv1)) ++one;
    EXPECT_EQ(d.web_port, 80);
    EXPECT_EQ(d.user, "root");
    EXPECT_EQ(d.password, "tulp");
  }
  EXPECT_EQ(macs.size(), 5000u);
  EXPECT_EQ(ips.size(), 5000u);
  EXPECT_GT(encoders, 0);
  EXPECT_GT(decoders, 0);
  EXPECT_GT(three, 0);
  EXPECT_GT(one, 0);
  std::string err;
  EXPECT_EQ(ValidateFleet(fleet, &err), 0) << err;
}

TEST(SimFleet, GeneratedAddressesSkipNetworkAndBroadcastOctets) {
  const uint32_t base = IpFromOctets(10, 77, 1, 1);
  EXPECT_EQ(Ip(GeneratedIp(base, 0)), "10.77.1.1");
  EXPECT_EQ(Ip(GeneratedIp(base, 253)), "10.77.1.254");
  EXPECT_EQ(Ip(GeneratedIp(base, 254)), "10.77.2.1");
  EXPECT_EQ(Ip(GeneratedIp(IpFromOctets(192, 168, 1, 250), 5)), "192.168.2.1");
}

TEST(SimFleet, FileFieldsOverrideGeneratedValues) {
  const std::string text =
      "# two devices\n"
      "\n"
      "mac=00:1A:2B:3C:4D:5E byte=0x33 model=\"NVT E100 \\\"HD\\\"\" text2=x text3=\"\" net=pppoe "
      "ip=192.168.5.20 mask=255.255.255.0 gateway=192.168.5.1 dns=8.8.8.8 pppoe1=u pppoe2=p pppoe3=s "
      "pppoe_value1=4000000000 pppoe_value2=255 pppoe_value3=7 trailing=1 web_port=8080 av_ports=554/555 "
      "item2=4 reply_version=2 firmware=3.0.1 serial=SN1 mode=decoder user=admin password=\"pa ss\" "
      "faults=late,http-split   # trailing comment\n"
      "   mac=00-1A-2B-3C-4D-5F items=8,11\n";
  std::vector<SimDeviceConfig> fleet;
  std::string err;
  ASSERT_EQ(ParseFleetText(text, FleetDefaults(), &fleet, &err), 0) << err;
  ASSERT_EQ(fleet.size(), 2u);
  const SimDeviceConfig& a = fleet[0];
  EXPECT_EQ(a.mac[5], 0x5E);
  EXPECT_EQ(a.device_byte, 0x33);
  EXPECT_EQ(a.model, "NVT E100 \"HD\"");
  EXPECT_EQ(a.text3, "");
  EXPECT_EQ(a.network_type, 2);
  EXPECT_EQ(Ip(a.ip), "192.168.5.20");
  EXPECT_EQ(Ip(a.dns), "8.8.8.8");
  EXPECT_EQ(a.pppoe_value1, 4000000000u);
  EXPECT_EQ(a.pppoe_value2, 255);
  EXPECT_EQ(a.web_port, 8080);
  EXPECT_EQ(a.av_port1, 554);
  EXPECT_EQ(a.av_port2, 555);
  EXPECT_EQ(a.av_port3, 0);
  EXPECT_EQ(a.items, kItemMaskWeb | kItemMaskAv1 | kItemMaskAv2);
  EXPECT_TRUE(a.has_item2);
  EXPECT_EQ(a.reply_version, 2);
  EXPECT_EQ(a.mode, SystemMode::kDecoder);
  EXPECT_EQ(a.password, "pa ss");
  EXPECT_EQ(a.faults, kFaultLate | kFaultHttpSplit);
  // The second line keeps the generated values of position 2.
  const SimDeviceConfig gen = GenerateDevice(1, FleetDefaults());
  const SimDeviceConfig& b = fleet[1];
  EXPECT_EQ(b.ip, gen.ip);
  EXPECT_EQ(b.model, gen.model);
  EXPECT_EQ(b.items, kItemMaskWeb | kItemMaskAv3);
}

TEST(SimFleet, FormattedLinesReadBackToTheSameDevices) {
  auto fleet = GenerateFleet(7, FleetDefaults());
  fleet[2].model = "with \"quotes\" and \\ backslash";
  fleet[3].faults = kFaultGarbage | kFaultNoMove;
  fleet[4].has_item2 = true;
  fleet[4].item2 = 200;
  fleet[5].items = 0;
  std::string text;
  for (const auto& d : fleet) text += FormatFleetLine(d) + "\n";
  std::vector<SimDeviceConfig> back;
  std::string err;
  ASSERT_EQ(ParseFleetText(text, FleetDefaults(), &back, &err), 0) << err;
  ASSERT_EQ(back.size(), fleet.size());
  for (size_t i = 0; i < fleet.size(); ++i) EXPECT_EQ(FormatFleetLine(back[i]), FormatFleetLine(fleet[i])) << i;
}

TEST(SimFleet, BadLinesNameTheirLineAndField) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"mac=00:11:22:33:44:55\nmodel=x colour=red\n", "line 2: unknown key 'colour'"},
      {"ip=300.1.1.1\n", "line 1: bad ip"},
      {"mac=00:11:22:33:44\n", "line 1: bad mac"},
      {"model=\"open\n", "line 1: unterminated quote"},
      {"faults=late,sleepy\n", "line 1: unknown fault 'sleepy'"},
      {"net=wifi\n", "line 1: bad net"},
      {"web_port=70000\n", "line 1: bad web_port"},
      {"items=7\n", "line 1: bad items"},
      {"model=a model=b\n", "line 1: model given twice"},
      {"justaword\n", "line 1: expected key=value"},
      {"mac=00:11:22:33:44:55\nmac=00:11:22:33:44:55\n", "MAC 00:11:22:33:44:55 used twice"},
      {"ip=127.0.0.1\n", "cannot be a device address"},
  };
  for (const auto& c : cases) {
    std::vector<SimDeviceConfig> fleet;
    std::string err;
    EXPECT_EQ(ParseFleetText(c.text, FleetDefaults(), &fleet, &err), -1) << c.text;
    EXPECT_NE(err.find(c.want), std::string::npos) << "got: " << err << " for " << c.text;
  }
  std::vector<SimDeviceConfig> fleet;
  std::string err;
  EXPECT_EQ(ParseFleetText("model=" + std::string(256, 'x') + "\n", FleetDefaults(), &fleet, &err), -1);
  EXPECT_EQ(LoadFleetFile("/nonexistent/fleet.txt", FleetDefaults(), &fleet, &err), -1);
}

TEST(SimFleet, FaultSharesHitTheirCountAndRepeatWithTheSeed) {
  FaultShare late, garbage;
  ASSERT_EQ(ParseFaultShare("late=0.1", &late), 0);
  ASSERT_EQ(ParseFaultShare("garbage=25%", &garbage), 0);
  EXPECT_EQ(ParseFaultShare("late=1.5", &late), -1);
  EXPECT_EQ(ParseFaultShare("sleepy=0.1", &late), -1);
  EXPECT_EQ(ParseFaultShare("late", &late), -1);
  ASSERT_EQ(ParseFaultShare("late=0.1", &late), 0);
  auto a = GenerateFleet(200, FleetDefaults());
  auto b = a;
  ApplyFaultShares(&a, {late, garbage}, 42);
  ApplyFaultShares(&b, {late, garbage}, 42);
  int nl = 0, ng = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].faults, b[i].faults);
    nl += (a[i].faults & kFaultLate) != 0;
    ng += (a[i].faults & kFaultGarbage) != 0;
  }
  EXPECT_EQ(nl, 20);
  EXPECT_EQ(ng, 50);
}

TEST(SimFleet, DuplicateAddressTakesTheNextDevicesAddress) {
  auto fleet = GenerateFleet(4, FleetDefaults());
  fleet[1].faults = kFaultDupIp;
  fleet[3].faults = kFaultDupIp;
  ApplyDuplicateAddresses(&fleet);
  EXPECT_EQ(fleet[1].ip, fleet[2].ip);
  EXPECT_EQ(fleet[3].ip, fleet[0].ip);
}

TEST(SimOptions, CommandLineFillsEveryKnob) {
  const char* argv[] = {"dravenkit-sim", "--devices", "12", "--iface", "dk1", "--spread", "5-40", "--late-ms", "900",
                        "--move-delay-ms", "10", "--reset-delay-ms", "20", "--restart-ms", "30", "--fault",
                        "late=0.5", "--ports", "32154", "--dhcp-pool", "10.1.0.1-10.1.0.9", "--seed", "7",
                        "--log-discovery", "summary", "--exit-with", "123", "--base-ip", "10.5.0.1",
                        "--video-size", "1920x1080", "--refuse-delay-ms", "40"};
  SimArgs a;
  std::string err;
  ASSERT_EQ(ParseSimArgs(sizeof argv / sizeof argv[0], argv, &a, &err), 0) << err;
  EXPECT_EQ(a.devices, 12);
  EXPECT_EQ(a.server.iface, "dk1");
  EXPECT_EQ(a.sim.timings.spread_min_ms, 5u);
  EXPECT_EQ(a.sim.timings.spread_max_ms, 40u);
  EXPECT_EQ(a.sim.timings.late_ms, 900u);
  EXPECT_EQ(a.sim.timings.move_delay_ms, 10u);
  EXPECT_EQ(a.sim.timings.reset_delay_ms, 20u);
  EXPECT_EQ(a.sim.timings.restart_ms, 30u);
  ASSERT_EQ(a.server.udp_ports.size(), 1u);
  EXPECT_EQ(a.server.udp_ports[0], 32154);
  EXPECT_EQ(Ip(a.sim.dhcp_last), "10.1.0.9");
  EXPECT_EQ(a.sim.seed, 7u);
  EXPECT_FALSE(a.sim.log_each_discovery);
  EXPECT_EQ(a.server.exit_with_pid, 123);
  EXPECT_EQ(a.sim.video_width, 1920);
  EXPECT_EQ(a.sim.video_height, 1080);
  EXPECT_EQ(a.sim.timings.refuse_delay_ms, 40u);
  std::vector<SimDeviceConfig> fleet;
  ASSERT_EQ(BuildFleet(a, &fleet, &err), 0) << err;
  ASSERT_EQ(fleet.size(), 12u);
  EXPECT_EQ(Ip(fleet[0].ip), "10.5.0.1");
  int late = 0;
  for (const auto& d : fleet) late += (d.faults & kFaultLate) != 0;
  EXPECT_EQ(late, 6);
}

TEST(SimOptions, UsageFaultsAreReported) {
  struct Case {
    std::vector<const char*> argv;
    const char* want;
  } cases[] = {
      {{"s", "--iface", "x"}, "exactly one of"},
      {{"s", "--devices", "3", "--fleet", "f", "--iface", "x"}, "exactly one of"},
      {{"s", "--devices", "3"}, "--iface"},
      {{"s", "--devices", "0", "--iface", "x"}, "bad value for --devices"},
      {{"s", "--devices", "3", "--iface", "x", "--spread", "50-10"}, "bad value for --spread"},
      {{"s", "--devices", "3", "--iface", "x", "--bogus"}, "unknown option --bogus"},
      {{"s", "--devices", "3", "--iface"}, "--iface needs a value"},
      {{"s", "--devices", "3", "--iface", "x", "--ports", "1,,2"}, "bad value for --ports"},
      {{"s", "--devices", "3", "--iface", "x", "--video-size", "1919x1080"}, "bad value for --video-size"},
  };
  for (auto& c : cases) {
    SimArgs a;
    std::string err;
    EXPECT_EQ(ParseSimArgs(static_cast<int>(c.argv.size()), c.argv.data(), &a, &err), -1) << c.want;
    EXPECT_NE(err.find(c.want), std::string::npos) << "got: " << err;
  }
}

TEST(SimOptions, FleetFileIsReadThroughTheOptions) {
  TempDir dir;
  dir.Write("fleet.txt", "model=A\nmodel=B faults=dup-ip\nmodel=C\n");
  const std::string path = dir.File("fleet.txt");
  const char* argv[] = {"s", "--fleet", path.c_str(), "--no-addresses"};
  SimArgs a;
  std::string err;
  ASSERT_EQ(ParseSimArgs(4, argv, &a, &err), 0) << err;
  std::vector<SimDeviceConfig> fleet;
  ASSERT_EQ(BuildFleet(a, &fleet, &err), 0) << err;
  ASSERT_EQ(fleet.size(), 3u);
  EXPECT_EQ(fleet[1].model, "B");
  EXPECT_EQ(fleet[1].ip, fleet[2].ip);
}
