// What the devices do with TALQ requests, driven without sockets.
#include "sim/sim_core.h"
#include "sim/sim_rtsp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_wire.h"
#include "tests/sim/fake_sim_io.h"

using namespace dksim;

namespace {

const uint32_t kPc = IpFromOctets(10, 77, 0, 1);
const uint32_t kBcast = 0xFFFFFFFFu;

class SimCoreTest : public ::testing::Test {
 protected:
  void Make(std::vector<SimDeviceConfig> fleet) {
    log_.Capture(true);
    sim_ = std::make_unique<Simulator>(std::move(fleet), opt_, &io_, &log_);
    sim_->Start();
  }
  void Discover(uint16_t port = 32154, uint16_t from_port = 32153, uint32_t dst = kBcast) {
    const auto req = DiscoveryRequest();
    sim_->OnDatagram(port, kPc, from_port, dst, req.data(), req.size());
  }
  void Send(const std::vector<uint8_t>& dg) { sim_->OnDatagram(32154, kPc, 32153, kBcast, dg.data(), dg.size()); }
  // Parsed discovery replies among the datagrams.
  std::vector<DeviceRecord> Replies(const std::vector<SentDatagram>& sent) {
    std::vector<DeviceRecord> out;
    for (const auto& s : sent) {
      DeviceRecord r;
      if (TalqParseDiscoveryReply(s.data.data(), s.data.size(), s.src_ip, &r) == 1) out.push_back(r);
    }
    return out;
  }
  std::vector<int> Results(const std::vector<SentDatagram>& sent) {
    std::vector<int> out;
    for (const auto& s : sent)
      if (s.data.size() == 8) out.push_back(TalqParseResultReply(s.data.data(), s.data.size()));
    return out;
  }
  int LogCount(const std::string& needle) {
    int n = 0;
    const std::string& s = log_.captured();
    for (size_t p = 0; (p = s.find(needle, p)) != std::string::npos; p += needle.size()) ++n;
    return n;
  }

  SimOptions opt_;
  FakeSimIo io_;
  EventLog log_;
  std::unique_ptr<Simulator> sim_;
};

std::vector<SimDeviceConfig> Fleet(int n) { return GenerateFleet(n, FleetDefaults()); }

}  // namespace

TEST_F(SimCoreTest, StartAndStopHoldEachAddressOnce) {
  auto fleet = Fleet(5);
  fleet[3].faults = kFaultDupIp;
  ApplyDuplicateAddresses(&fleet);
  Make(fleet);
  EXPECT_EQ(io_.addresses.size(), 4u);
  EXPECT_EQ(io_.ups, 4);
  sim_->Stop();
  EXPECT_TRUE(io_.addresses.empty());
  EXPECT_EQ(io_.downs, 4);
}

TEST_F(SimCoreTest, EveryDeviceAnswersWithinTheSpreadFromItsOwnAddress) {
  opt_.timings.spread_min_ms = 10;
  opt_.timings.spread_max_ms = 60;
  auto fleet = Fleet(200);
  Make(fleet);
  const uint64_t t0 = io_.now_us;
  Discover(32154, 32153);
  io_.Advance(*sim_, 9);
  EXPECT_TRUE(io_.sent.empty()) << "answered before the spread began";
  io_.Advance(*sim_, 52);
  const auto sent = io_.Take();
  ASSERT_EQ(sent.size(), 200u);
  std::set<uint32_t> sources;
  for (const auto& s : sent) {
    EXPECT_EQ(s.local_port, 32154);
    EXPECT_EQ(s.dst_port, 32153);
    EXPECT_GE(s.at_us, t0 + 10000);
    EXPECT_LE(s.at_us, t0 + 61000);
    sources.insert(s.src_ip);
  }
  EXPECT_EQ(sources.size(), 200u);
  const auto recs = Replies(sent);
  ASSERT_EQ(recs.size(), 200u);
  for (const auto& r : recs) {
    const int i = sim_->FindByMac(r.mac);
    ASSERT_GE(i, 0);
    EXPECT_EQ(r.ip, fleet[static_cast<size_t>(i)].ip);
    EXPECT_EQ(r.configured_ip, fleet[static_cast<size_t>(i)].ip);
    EXPECT_STREQ(r.model_name, fleet[static_cast<size_t>(i)].model.c_str());
  }
  EXPECT_EQ(LogCount("\"ev\":\"discovery_answered\""), 200);
  EXPECT_EQ(LogCount("\"ev\":\"discovery_done\""), 1);
}

TEST_F(SimCoreTest, SecondPortPairIsAnsweredOnItsOwnPorts) {
  Make(Fleet(3));
  Discover(33000, 33001);
  io_.Advance(*sim_, 101);
  const auto sent = io_.Take();
  ASSERT_EQ(sent.size(), 3u);
  for (const auto& s : sent) {
    EXPECT_EQ(s.local_port, 33000);
    EXPECT_EQ(s.dst_port, 33001);
  }
}

TEST_F(SimCoreTest, RequestToOneAddressReachesOnlyThatDevice) {
  auto fleet = Fleet(10);
  Make(fleet);
  Discover(32154, 32153, fleet[4].ip);
  io_.Advance(*sim_, 101);
  const auto recs = Replies(io_.Take());
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].ip, fleet[4].ip);
}

TEST_F(SimCoreTest, DiscoveryFaults) {
  opt_.timings.late_ms = 800;
  auto fleet = Fleet(4);
  fleet[0].faults = kFaultNoDiscovery;
  fleet[1].faults = kFaultLate;
  fleet[2].faults = kFaultBadLength;
  fleet[3].faults = kFaultGarbage;
  Make(fleet);
  Discover();
  io_.Advance(*sim_, 101);
  auto early = io_.Take();
  // Device 2's reply is there but its length field is off by one.
  int bad_length = 0, bad_magic = 0, parsed = 0;
  for (const auto& s : early) {
    DeviceRecord r;
    const int rc = TalqParseDiscoveryReply(s.data.data(), s.data.size(), s.src_ip, &r);
    if (rc == -3) ++bad_length;
    if (rc == -1) ++bad_magic;
    if (rc == 1) {
      ++parsed;
      EXPECT_EQ(0, std::memcmp(r.mac, fleet[3].mac, 6));
    }
  }
  EXPECT_EQ(parsed, 1);       // only the garbage device's real reply
  EXPECT_EQ(bad_length, 2);   // bad-length reply, and the garbage device's cut copy
  EXPECT_EQ(bad_magic, 1);    // the junk datagram
  io_.Advance(*sim_, 800);
  const auto late = Replies(io_.Take());
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(0, std::memcmp(late[0].mac, fleet[1].mac, 6));
  EXPECT_EQ(LogCount("no-discovery fault"), 1);
}

TEST_F(SimCoreTest, ReplyQueueOfADeviceIsBounded) {
  opt_.max_pending_replies = 3;
  Make(Fleet(2));
  for (int i = 0; i < 20; ++i) Discover();
  io_.Advance(*sim_, 101);
  EXPECT_EQ(io_.Take().size(), 6u);
  EXPECT_EQ(LogCount("reply queue full"), 34);
}

TEST_F(SimCoreTest, AcceptedSetNetworkMovesTheDeviceAfterTheDelay) {
  opt_.timings.move_delay_ms = 500;
  auto fleet = Fleet(3);
  Make(fleet);
  const uint32_t target = IpFromOctets(192, 168, 1, 161);
  Send(BuildSetNetwork(StaticRequest(fleet[1].mac, "root", "tulp", target, IpFromOctets(255, 255, 255, 0))));
  auto sent = io_.Take();
  ASSERT_EQ(Results(sent), std::vector<int>{0});
  EXPECT_EQ(sent[0].src_ip, fleet[1].ip);
  EXPECT_EQ(sent[0].dst_port, 32153);
  io_.Advance(*sim_, 499);
  EXPECT_TRUE(io_.Has(fleet[1].ip));
  EXPECT_FALSE(io_.Has(target));
  io_.Advance(*sim_, 2);
  EXPECT_FALSE(io_.Has(fleet[1].ip));
  EXPECT_TRUE(io_.Has(target));

  Discover();
  io_.Advance(*sim_, 101);
  bool seen = false;
  for (const auto& r : Replies(io_.Take())) {
    if (std::memcmp(r.mac, fleet[1].mac, 6) != 0) continue;
    seen = true;
    EXPECT_EQ(r.ip, target);
    EXPECT_EQ(r.configured_ip, target);
    EXPECT_EQ(r.subnet_mask, IpFromOctets(255, 255, 255, 0));
    EXPECT_EQ(r.network_type, 1);
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(LogCount("\"ev\":\"moved\""), 1);
  EXPECT_NE(log_.captured().find("\"id\":\"root\""), std::string::npos);
}

TEST_F(SimCoreTest, RefusedRequestsAnswerTheirCodeAndMoveNothing) {
  auto fleet = Fleet(3);
  fleet[2].faults = kFaultAuthRefuse;
  Make(fleet);
  const uint32_t target = IpFromOctets(10, 77, 9, 9);
  const uint32_t mask = IpFromOctets(255, 255, 0, 0);
  Send(BuildSetNetwork(StaticRequest(fleet[0].mac, "root", "wrong", target, mask)));
  Send(BuildSetNetwork(StaticRequest(fleet[0].mac, "admin", "tulp", target, mask)));
  Send(BuildSetNetwork(StaticRequest(fleet[2].mac, "root", "tulp", target, mask)));
  Send(BuildSetNetwork(StaticRequest(fleet[0].mac, "root", "tulp", 0, mask)));
  Send(BuildSetNetwork(StaticRequest(fleet[0].mac, "root", "tulp", target, IpFromOctets(255, 0, 255, 0))));
  auto unknown = BuildSetNetwork(StaticRequest(fleet[0].mac, "root", "tulp", target, mask));
  unknown[15] = 7;
  Send(unknown);
  EXPECT_EQ(Results(io_.Take()), (std::vector<int>{2, 2, 2, 1, 1, 1}));
  io_.Advance(*sim_, 3000);
  EXPECT_FALSE(io_.Has(target));
  EXPECT_TRUE(io_.Has(fleet[0].ip));
  EXPECT_EQ(LogCount("\"reason\":\"wrong credentials\""), 2);
  EXPECT_EQ(LogCount("auth-refuse fault"), 1);
  EXPECT_EQ(LogCount("invalid address"), 1);
  EXPECT_EQ(LogCount("invalid subnet mask"), 1);
  EXPECT_EQ(LogCount("unknown network type"), 1);
}

TEST_F(SimCoreTest, NoMoveAndMoveSilentFaults) {
  opt_.timings.move_delay_ms = 10;
  auto fleet = Fleet(2);
  fleet[0].faults = kFaultNoMove;
  fleet[1].faults = kFaultMoveSilent;
  Make(fleet);
  const uint32_t a = IpFromOctets(10, 77, 9, 1), b = IpFromOctets(10, 77, 9, 2);
  const uint32_t mask = IpFromOctets(255, 255, 0, 0);
  Send(BuildSetNetwork(StaticRequest(fleet[0].mac, "root", "tulp", a, mask)));
  Send(BuildSetNetwork(StaticRequest(fleet[1].mac, "root", "tulp", b, mask)));
  EXPECT_EQ(Results(io_.Take()), (std::vector<int>{0, 0}));
  io_.Advance(*sim_, 20);
  EXPECT_FALSE(io_.Has(a));
  EXPECT_TRUE(io_.Has(fleet[0].ip));
  EXPECT_TRUE(io_.Has(b));  // moved: its address answers ping
  Discover();
  io_.Advance(*sim_, 101);
  const auto recs = Replies(io_.Take());
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].ip, fleet[0].ip);
  Send(BuildSetNetwork(StaticRequest(fleet[1].mac, "root", "tulp", a, mask)));
  EXPECT_TRUE(io_.Take().empty());
  EXPECT_TRUE(sim_->RefusesConnection(1));
  EXPECT_FALSE(sim_->RefusesConnection(0));
}

TEST_F(SimCoreTest, DhcpLeasesFromThePoolAndPppoeKeepsTheAddress) {
  opt_.timings.move_delay_ms = 1;
  opt_.dhcp_first = IpFromOctets(10, 77, 200, 1);
  opt_.dhcp_last = IpFromOctets(10, 77, 200, 3);
  opt_.dhcp_mask = IpFromOctets(255, 255, 255, 0);
  auto fleet = Fleet(3);
  Make(fleet);
  for (int i = 0; i < 2; ++i) {
    SetNetworkRequest r = StaticRequest(fleet[static_cast<size_t>(i)].mac, "root", "tulp", 0, 0);
    r.network_type = 0;
    Send(BuildSetNetwork(r));
  }
  SetNetworkRequest p = StaticRequest(fleet[2].mac, "root", "tulp", 0, 0);
  p.network_type = 2;
  std::strcpy(p.pppoe_text1, "account");
  std::strcpy(p.pppoe_text2, "pw");
  std::strcpy(p.pppoe_text3, "svc");
  p.pppoe_value1 = 11;
  p.pppoe_value2 = 22;
  p.pppoe_value3 = 33;
  Send(BuildSetNetwork(p));
  EXPECT_EQ(Results(io_.Take()), (std::vector<int>{0, 0, 0}));
  io_.Advance(*sim_, 5);
  Discover();
  io_.Advance(*sim_, 101);
  const auto recs = Replies(io_.Take());
  ASSERT_EQ(recs.size(), 3u);
  std::set<uint32_t> leased;
  for (const auto& r : recs) {
    const int i = sim_->FindByMac(r.mac);
    if (i < 2) {
      EXPECT_EQ(r.network_type, 0);
      EXPECT_EQ(IpOctet(r.ip, 2), 200);
      EXPECT_EQ(r.subnet_mask, opt_.dhcp_mask);
      leased.insert(r.ip);
    } else {
      EXPECT_EQ(r.network_type, 2);
      EXPECT_EQ(r.ip, fleet[2].ip);
      EXPECT_STREQ(r.pppoe_text1, "account");
      EXPECT_STREQ(r.pppoe_text3, "svc");
      EXPECT_EQ(r.pppoe_value1, 11u);
      EXPECT_EQ(r.pppoe_value2, 22);
      EXPECT_EQ(r.pppoe_value3, 33u);
    }
  }
  EXPECT_EQ(leased.size(), 2u);
}

TEST_F(SimCoreTest, MalformedAndUnaddressedDatagramsAreLoggedNotAnswered) {
  auto fleet = Fleet(2);
  Make(fleet);
  const uint8_t junk[] = {'T', 'A', 'L', 'Q', 3, 8, 0, 5};
  sim_->OnDatagram(32154, kPc, 32153, kBcast, junk, sizeof junk);
  sim_->OnDatagram(32154, kPc, 32153, kBcast, junk, 3);
  std::vector<uint8_t> big(1500, 0xAB);
  sim_->OnDatagram(32154, kPc, 32153, kBcast, big.data(), big.size());
  uint8_t other[6] = {1, 2, 3, 4, 5, 6};
  Send(BuildSetNetwork(StaticRequest(other, "root", "tulp", IpFromOctets(10, 77, 5, 5), IpFromOctets(255, 255, 0, 0))));
  io_.Advance(*sim_, 200);
  EXPECT_TRUE(io_.sent.empty());
  EXPECT_EQ(LogCount("\"ev\":\"datagram_rejected\""), 3);
  EXPECT_EQ(LogCount("\"ev\":\"request_unmatched\""), 1);
}

TEST_F(SimCoreTest, Command5AndType3AreCheckedButNotActedOn) {
  auto fleet = Fleet(1);
  Make(fleet);
  Command5Request c{};
  std::memcpy(c.mac, fleet[0].mac, 6);
  std::memcpy(c.admin_id, "root", 4);
  std::strcpy(c.secret1, "tulp");
  uint8_t b[kTalqMaxRequest];
  int n = TalqBuildCommand5(c, 1, b, sizeof b);
  Send(std::vector<uint8_t>(b, b + n));
  std::strcpy(c.secret1, "nope");
  n = TalqBuildCommand5(c, 1, b, sizeof b);
  Send(std::vector<uint8_t>(b, b + n));
  SetNetworkType3Request t{};
  std::memcpy(t.mac, fleet[0].mac, 6);
  std::memcpy(t.admin_id, "root", 4);
  std::strcpy(t.password, "tulp");
  n = TalqBuildSetNetworkType3(t, 1, b, sizeof b);
  Send(std::vector<uint8_t>(b, b + n));
  EXPECT_EQ(Results(io_.Take()), (std::vector<int>{kResultUnsupported, 2, kResultUnsupported}));
}

TEST_F(SimCoreTest, LongPasswordsCompareOnTheSixteenCharactersSent) {
  auto fleet = Fleet(1);
  fleet[0].password = "0123456789abcdefTAIL";
  Make(fleet);
  Send(BuildSetNetwork(StaticRequest(fleet[0].mac, "root", "0123456789abcdefOTHER", IpFromOctets(10, 77, 3, 3),
                                     IpFromOctets(255, 255, 0, 0))));
  EXPECT_EQ(Results(io_.Take()), std::vector<int>{0});
}

namespace {

TEST_F(SimCoreTest, VideoConnectionsFindTheirDeviceAndStream) {
  SimDeviceConfig a = GenerateDevice(0, FleetDefaults());  // 554/555/556
  SimDeviceConfig b = GenerateDevice(2, FleetDefaults());  // 554 only
  Make({a, b});
  struct Case {
    uint32_t ip;
    uint16_t port;
    int dev, stream;
  } cases[] = {{a.ip, 554, 0, 1}, {a.ip, 555, 0, 2}, {a.ip, 556, 0, 3}, {b.ip, 554, 1, 1},
               {b.ip, 555, -1, 0}, {a.ip, 80, -1, 0},   {kPc, 554, -1, 0}, {a.ip, 0, -1, 0}};
  for (const Case& c : cases) {
    int stream = 0;
    EXPECT_EQ(AvDeviceAt(*sim_, c.ip, c.port, &stream), c.dev) << c.port;
    if (c.dev >= 0) {
      EXPECT_EQ(stream, c.stream) << c.port;
    }
  }
  EXPECT_EQ(FaultFromName("rtsp-busy"), uint32_t(kFaultRtspBusy));
  EXPECT_EQ(FaultList(kFaultRtspSilent | kFaultLate), "late,rtsp-silent");
}

}  // namespace
