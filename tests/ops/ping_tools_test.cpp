// Ping check, ARP flush and the "Ping response" run, with the system's own
// ping inside the private namespace.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/devices/device_table.h"
#include "engine/ops/inventory_ping.h"
#include "engine/ops/ping_tools.h"
#include "platform/ticks.h"
#include "tests/http/local_http_server.h"
#include "tests/support/net_guard.h"
#include "tests/support/recording_sink.h"

namespace {

const uint32_t kLoopback = IpFromOctets(127, 0, 0, 1);
// Documentation range: no route to it in the private namespace.
const uint32_t kNowhere = IpFromOctets(198, 51, 100, 1);

PingTarget Target(uint8_t id, uint32_t ip) {
  PingTarget t{};
  for (int i = 0; i < 6; ++i) t.mac[i] = static_cast<uint8_t>(0x10 * i + id);
  t.ip = ip;
  return t;
}

TEST(PingToolsTest, CommandLines) {
  EXPECT_EQ(PingCommandArgs(IpFromOctets(192, 168, 1, 20), 1, 5),
            (std::vector<std::string>{"ping", "-c", "1", "-W", "0.005", "192.168.1.20"}));
  EXPECT_EQ(PingCommandArgs(kLoopback, 3, 1500)[4], "1.500");
  EXPECT_EQ(PingCommandArgs(kLoopback, 1, 20000)[4], "20.000");
  // -W 0 would mean waiting for ever.
  EXPECT_EQ(PingCommandArgs(kLoopback, 0, 0), (std::vector<std::string>{"ping", "-c", "1", "-W", "0.001", "127.0.0.1"}));
  EXPECT_EQ(DeleteArpTableArgs(), (std::vector<std::string>{"ip", "neigh", "flush", "all"}));
}

TEST(PingToolsTest, SummaryMarker) {
  EXPECT_TRUE(PingOutputAnswered(
      "--- 127.0.0.1 ping statistics ---\n1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"));
  EXPECT_FALSE(PingOutputAnswered(
      "--- 10.1.1.1 ping statistics ---\n1 packets transmitted, 0 received, 100% packet loss, time 0ms\n"));
  EXPECT_FALSE(PingOutputAnswered(
      "2 packets transmitted, 1 received, 50% packet loss, time 1001ms\n"));
  EXPECT_FALSE(PingOutputAnswered(""));
}

// A veth pair inside the private namespace: our end holds 10.199.N.1/24 and
// nothing answers for any other address of that subnet.
class LocalSubnet {
 public:
  LocalSubnet() {
    int n = static_cast<int>(getpid() % 200) + 1;
    a_ = "dkp" + std::to_string(getpid() % 100000) + "a";
    b_ = "dkp" + std::to_string(getpid() % 100000) + "b";
    prefix_ = "10.199." + std::to_string(n) + ".";
    ok_ = RunCommand({"ip", "link", "add", a_, "type", "veth", "peer", "name", b_}, nullptr) == 0 &&
          RunCommand({"ip", "addr", "add", prefix_ + "1/24", "dev", a_}, nullptr) == 0 &&
          RunCommand({"ip", "link", "set", a_, "up"}, nullptr) == 0 &&
          RunCommand({"ip", "link", "set", b_, "up"}, nullptr) == 0;
  }
  ~LocalSubnet() { RunCommand({"ip", "link", "del", a_}, nullptr); }
  bool ok() const { return ok_; }
  const std::string& dev() const { return a_; }
  std::string Addr(int host) const { return prefix_ + std::to_string(host); }
  uint32_t Ip(int host) const {
    uint32_t ip = 0;
    ParseIp(Addr(host).c_str(), &ip);
    return ip;
  }

 private:
  std::string a_, b_, prefix_;
  bool ok_ = false;
};

TEST(PingToolsTest, PingCheckOnTheNamespace) {
  EXPECT_EQ(PingCheck(kLoopback, 1, 5), 1);
  EXPECT_EQ(PingCheck(IpFromOctets(127, 0, 0, 9), 1, 200), 1);
  DK_REQUIRE_PRIVATE_NETWORK();
  EXPECT_EQ(PingCheck(kNowhere, 1, 5), 0);  // no route
  LocalSubnet net;
  ASSERT_TRUE(net.ok());
  EXPECT_EQ(PingCheck(net.Ip(1), 1, 5), 1);
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(PingCheck(net.Ip(9), 1, 5), 0);  // routed, nobody answers
  EXPECT_LT(t.Elapsed(), 4000u) << "the 5 ms time-out must hold";
}

// The inventory's echo socket: answers, silence, no route, within its bound.
// An answer ends the wait at once, so the answering cases get bounds a
// starved machine meets; only the silent address is held to a short one.
void CheckEchoSocket(dk::IcmpEchoSocket& s) {
  EXPECT_EQ(s.Echo(kLoopback, 1, 2000), 1);
  EXPECT_EQ(s.Echo(IpFromOctets(127, 0, 0, 9), 2, 2000), 1);
  dk::StopFlag stop;
  stop.Set();
  EXPECT_EQ(s.Echo(kLoopback, 1, 5, &stop), 0);
  if (!dktest::WhyNoSending().empty()) return;  // the rest sends beyond loopback
  EXPECT_EQ(s.Echo(kNowhere, 1, 5), 0);  // no route
  LocalSubnet net;
  ASSERT_TRUE(net.ok());
  EXPECT_EQ(s.Echo(net.Ip(1), 1, 2000), 1);
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(s.Echo(net.Ip(9), 1, 5), 0);  // routed, nobody answers
  EXPECT_LT(t.Elapsed(), 1000u);
}

TEST(InventoryPingTest, EchoSocketOfEitherKind) {
  dk::IcmpEchoSocket s;
  EXPECT_EQ(s.Echo(kLoopback, 1, 5), -1);  // not open
  if (!s.Open()) GTEST_SKIP() << "no ICMP socket here (neither unprivileged nor raw)";
  CheckEchoSocket(s);
  if (!dktest::WhyNoSending().empty()) return;  // the rest changes the namespace's ping range
  // Unprivileged datagram sockets where the namespace allows them.
  const char* range = "/proc/sys/net/ipv4/ping_group_range";
  std::string old;
  std::getline(std::ifstream(range), old);
  ASSERT_TRUE(static_cast<bool>(std::ofstream(range) << "0 2147483647\n"));
  dk::IcmpEchoSocket d;
  ASSERT_TRUE(d.Open());
  EXPECT_EQ(d.kind(), dk::IcmpKind::kDatagram);
  CheckEchoSocket(d);
  std::ofstream(range) << old << "\n";
  dk::IcmpEchoSocket r;
  ASSERT_TRUE(r.Open());
  EXPECT_EQ(r.kind(), getuid() == 0 ? dk::IcmpKind::kRaw : dk::IcmpKind::kDatagram);
}

// Sockets of many threads at once each take only their own replies.
TEST(InventoryPingTest, ManyThreadsEachGetTheirAnswers) {
  if (InventoryPingKind() == dk::IcmpKind::kNone) GTEST_SKIP() << "no ICMP socket here";
  std::atomic<int> answered{0};
  dk::StopFlag stop;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) answered += InventoryPingCheck(IpFromOctets(127, 0, 0, 1 + t), 1, 2000, stop);
    });
  for (auto& th : threads) th.join();
  // Loopback itself drops the odd echo reply on a loaded machine (1 or 2 of
  // 400 seen, past a 2 s wait); replies going to the wrong socket would lose
  // most of them.
  EXPECT_GE(answered.load(), 396);
  EXPECT_LE(answered.load(), 400);
  stop.Set();
  EXPECT_EQ(InventoryPingCheck(kLoopback, 1, 5, stop), 0);
}

TEST(PingToolsTest, DeleteArpTableFlushesEntries) {
  DK_REQUIRE_PRIVATE_NETWORK();
  LocalSubnet net;
  ASSERT_TRUE(net.ok());
  ASSERT_EQ(RunCommand({"ip", "neigh", "replace", net.Addr(5), "lladdr", "02:00:00:00:00:05", "dev", net.dev(), "nud",
                        "stale"},
                       nullptr),
            0);
  std::string out;
  RunCommand({"ip", "neigh", "show", "dev", net.dev()}, &out);
  EXPECT_NE(out.find(net.Addr(5) + " "), std::string::npos) << out;
  EXPECT_EQ(DeleteArpTable(), 0);
  RunCommand({"ip", "neigh", "show", "dev", net.dev()}, &out);
  EXPECT_EQ(out.find(net.Addr(5) + " "), std::string::npos) << out;
}

TEST(PingToolsTest, RunReportsEachDeviceByValue) {
  DK_REQUIRE_PRIVATE_NETWORK();
  std::vector<PingTarget> targets = {Target(1, kLoopback), Target(2, kNowhere), Target(3, IpFromOctets(127, 0, 0, 2))};
  RecordingSink sink;
  dk::StopFlag stop;
  EXPECT_EQ(PingThreadProc(targets, PingTimings{}, stop, &sink), 3);
  auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 3u);
  const int answered[] = {1, 0, 1};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(msgs[i].id, UM_PING_RESULT);
    EXPECT_EQ(msgs[i].wparam, answered[i]) << i;
    const auto& r = std::get<PingResult>(msgs[i].payload);
    EXPECT_EQ(std::memcmp(r.mac, targets[i].mac, 6), 0);
    EXPECT_EQ(r.ip, targets[i].ip);
  }
  stop.Set();
  EXPECT_EQ(PingThreadProc(targets, PingTimings{}, stop, &sink), 0);
  EXPECT_EQ(sink.Snapshot().size(), 0u);
}

TEST(PingToolsTest, TargetsInKeyOrder) {
  DeviceTable table;
  DeviceRecord a{}, b{};
  a.mac[5] = 0xA;
  a.ip = IpFromOctets(10, 0, 0, 1);
  b.mac[5] = 0xB;
  b.ip = IpFromOctets(10, 0, 0, 2);
  table.Append(1, a);
  table.Append(0, b);
  auto t = PingTargetsFromTable(table);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].mac[5], 0xB);
  EXPECT_EQ(t[0].ip, b.ip);
  EXPECT_EQ(t[1].mac[5], 0xA);
}

TEST(PingRunnerTest, RestartLeavesOneRunFromTheFirstDevice) {
  // Each check takes about a second (two requests a second apart), so the
  // first run is still inside its first ping when the second press comes.
  PingTimings t;
  t.count = 2;
  t.timeout_ms = 50;
  RecordingSink sink;
  PingRunner runner(t);
  ASSERT_TRUE(runner.Start({Target(1, kLoopback), Target(2, kLoopback), Target(3, kLoopback)}, &sink));
  EXPECT_TRUE(runner.Running());
  ASSERT_TRUE(runner.Start({Target(7, kLoopback), Target(8, kLoopback)}, &sink));
  dk::TickTimer tm;
  tm.Start();
  while (runner.Running() && !tm.Expired(15000)) dk::SleepMs(20);
  EXPECT_FALSE(runner.Running());
  auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 2u) << "the stopped run must not report";
  EXPECT_EQ(std::get<PingResult>(msgs[0].payload).mac[0], 7);
  EXPECT_EQ(std::get<PingResult>(msgs[1].payload).mac[0], 8);
  EXPECT_EQ(msgs[0].wparam, 1);
}

TEST(PingRunnerTest, StopEndsTheRun) {
  RecordingSink sink;
  {
    PingRunner runner;
    std::vector<PingTarget> many(200, Target(1, kLoopback));
    ASSERT_TRUE(runner.Start(many, &sink));
    ASSERT_TRUE(sink.WaitFor(UM_PING_RESULT, 5000));
    runner.Stop();
    dk::TickTimer tm;
    tm.Start();
    while (runner.Running() && !tm.Expired(5000)) dk::SleepMs(5);
    EXPECT_FALSE(runner.Running());
  }
  size_t n = sink.Snapshot().size();
  EXPECT_LT(n, 200u);
  dk::SleepMs(50);
  EXPECT_EQ(sink.Snapshot().size(), n) << "nothing after the runner has gone";
}

}  // namespace
