// The multiple IP setting run against fake devices on loopback: the order of
// requests, the addresses of both modes, the outcomes and the messages.
#include "engine/ops/multiple_ip.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "engine/talq/talq_client.h"
#include "platform/socket.h"
#include "tests/support/fake_talq_device.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

const uint32_t kLoopback = IpFromOctets(127, 0, 0, 1);

DeviceRecord Dev(uint8_t id) {
  DeviceRecord r;
  ZeroRecord(&r);
  const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, id};
  std::memcpy(r.mac, mac, 6);
  r.ip = IpFromOctets(10, 0, 0, id);
  r.network_type = 1;
  r.subnet_mask = IpFromOctets(255, 0, 0, 0);
  std::strcpy(r.pppoe_text1, "ppp");
  return r;
}

// Plays every device: answers each set-network request with the code given
// for its MAC's last byte (absent: silent) and records the requests.
class FakeDevices {
 public:
  explicit FakeDevices(const std::map<uint8_t, int>& codes) : fake_(kTalqDestPort, Devices(codes)) {
    EXPECT_TRUE(fake_.ok());
  }
  std::vector<std::vector<uint8_t>> Requests() const { return fake_.SetNetworkRequests(); }

 private:
  static std::vector<dktest::FakeTalqDevices::Device> Devices(const std::map<uint8_t, int>& codes) {
    std::vector<dktest::FakeTalqDevices::Device> out;
    for (const auto& [id, code] : codes) {
      dktest::FakeTalqDevices::Device d;
      std::memcpy(d.cfg.mac, Dev(id).mac, 6);
      d.answers_discovery = [] { return false; };
      d.set_network_result = code;
      out.push_back(d);
    }
    return out;
  }
  dktest::FakeTalqDevices fake_;
};

class MultipleIpRun : public ::testing::Test {
 protected:
  void SetUp() override {
    TalqSetRequestAddress(kLoopback);
    p.timings.set_network.result_wait_s = 0;
    p.timings.set_network.result_wait_us = 200000;
    p.admin_id = "root";
    p.admin_password = "tulp";
  }
  void TearDown() override { TalqSetRequestAddress(dk::IpBroadcast()); }

  struct Result {
    uint8_t id;
    int32_t code;
    DeviceRecord rec;
  };
  std::vector<Result> Run() {
    dk::StopFlag stop;
    RecordingSink sink;
    accepted = NvtSettingThreadProc(p, stop, &sink);
    std::vector<Result> out;
    const auto msgs = sink.Take();
    EXPECT_FALSE(msgs.empty());
    if (msgs.empty()) return out;
    EXPECT_EQ(msgs.back().id, UM_IP_CHECK_START);
    for (size_t i = 0; i + 1 < msgs.size(); ++i) {
      EXPECT_EQ(msgs[i].id, UM_IP_SETTING_RESULT);
      const auto& rec = std::get<DeviceRecord>(msgs[i].payload);
      out.push_back({rec.mac[5], msgs[i].wparam, rec});
    }
    return out;
  }

  NvtSettingParam p;
  int32_t accepted = 0;
};

TEST_F(MultipleIpRun, RangeModeCountsEveryTickedDeviceWhateverItsOutcome) {
  FakeDevices devices({{2, 0}, {5, 2}, {7, 0}});  // 9 stays silent
  p.devices = {Dev(2), Dev(5), Dev(7), Dev(9)};
  p.start_ip = IpFromOctets(192, 168, 1, 161);
  p.subnet_mask = IpFromOctets(255, 255, 255, 0);
  const auto r = Run();
  ASSERT_EQ(r.size(), 4u);
  const struct {
    uint8_t id;
    int32_t code;
    uint8_t last;
  } want[] = {{2, 0, 161}, {5, 2, 162}, {7, 0, 163}, {9, kSetNetworkNoAnswer, 164}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r[i].id, want[i].id);
    EXPECT_EQ(r[i].code, want[i].code);
    EXPECT_EQ(r[i].rec.configured_ip, IpFromOctets(192, 168, 1, want[i].last));
    EXPECT_EQ(r[i].rec.network_type, 1);
    EXPECT_EQ(r[i].rec.subnet_mask, IpFromOctets(255, 0, 0, 0)) << "range mode leaves the record's mask";
  }
  EXPECT_EQ(accepted, 2);
  const auto reqs = devices.Requests();
  ASSERT_EQ(reqs.size(), 4u);
  // The request carries the dialog's mask and the record's PPPoE text.
  SetNetworkRequest want_req;
  ASSERT_EQ(FillSetNetworkRequest(Dev(5), 1, "root", "tulp", IpFromOctets(192, 168, 1, 162),
                                  IpFromOctets(255, 255, 255, 0), 0, 0, &want_req), 0);
  uint8_t bytes[128];
  const int n = TalqBuildSetNetwork(want_req, 0, bytes, sizeof bytes);
  ASSERT_GT(n, 0);
  ASSERT_EQ(reqs[1].size(), size_t(n));
  // Device byte, MAC, type and ID, then the addresses (the credential block between is salted).
  EXPECT_EQ(0, std::memcmp(reqs[1].data() + 8, bytes + 8, 16));
  EXPECT_EQ(0, std::memcmp(reqs[1].data() + 46, bytes + 46, n - 46));
}

TEST_F(MultipleIpRun, RangeThatWouldPass255SendsNothing) {
  FakeDevices devices({{1, 0}, {2, 0}});
  p.devices = {Dev(1), Dev(2)};
  p.start_ip = IpFromOctets(10, 0, 0, 255);
  EXPECT_EQ(NvtRangeCapacity(p.start_ip), 1);
  EXPECT_TRUE(Run().empty());
  EXPECT_EQ(accepted, -1);
  EXPECT_TRUE(devices.Requests().empty());
  EXPECT_NE(NvtRangeOverflowText(p.start_ip, 2).find("only 1 device"), std::string::npos);
}

TEST_F(MultipleIpRun, FileModeMatchesExactMacsInFileOrder) {
  FakeDevices devices({{1, 0}, {2, 0}, {3, 0}, {4, 0}});
  TempDir dir;
  dir.Write("db.txt",
            "00:1A:2B:3C:4D:03 STATIC 10.1.0.3 255.255.0.0 10.1.0.1 8.8.8.8\n"
            "00:1a:2b:3c:4d:02 STATIC 10.1.0.2 255.255.0.0 10.1.0.1 8.8.8.8\n"  // lower case: matches nothing
            "00:1A:2B:3C:4D:01 dhcp 10.1.0.1 255.255.0.0 10.1.0.1 8.8.4.4\n"
            "00:1A:2B:3C:4D:09 STATIC 10.1.0.9 255.255.0.0 10.1.0.1 8.8.8.8\n"  // not ticked
            "00:1A:2B:3C:4D:04 STATIC 999.1.1.1 255.255.0.0 10.1.0.1 8.8.8.8\n"
            "00:1A:2B:3C:4D:03 STATIC 10.1.0.33 255.255.0.0 10.1.0.1 8.8.8.8\n");  // a second line: both
  p.assignment_mode = 1;
  p.file_path = dir.File("db.txt");
  p.devices = {Dev(1), Dev(2), Dev(3), Dev(4)};
  const auto r = Run();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].id, 3);
  EXPECT_EQ(r[0].rec.configured_ip, IpFromOctets(10, 1, 0, 3));
  EXPECT_EQ(r[0].rec.subnet_mask, IpFromOctets(255, 255, 0, 0));
  EXPECT_EQ(r[0].rec.gateway, IpFromOctets(10, 1, 0, 1));
  EXPECT_EQ(r[1].id, 1);
  EXPECT_EQ(r[1].rec.network_type, 0);
  EXPECT_EQ(r[1].rec.dns_server, IpFromOctets(8, 8, 4, 4));
  EXPECT_EQ(r[2].id, 4);
  EXPECT_EQ(r[2].code, kNvtInvalidAddress);
  EXPECT_EQ(r[3].id, 3);
  EXPECT_EQ(r[3].rec.configured_ip, IpFromOctets(10, 1, 0, 33));
  EXPECT_EQ(devices.Requests().size(), 3u);  // nothing for 2, 9 or the bad address

  // The plan names the device the file leaves out and the address in use.
  std::vector<DeviceRecord> listed = {Dev(1), Dev(2), Dev(3), Dev(4)};
  listed[1].ip = IpFromOctets(10, 1, 0, 3);
  std::vector<NvtPlanItem> plan;
  ASSERT_EQ(BuildNvtSettingPlan(p, listed, &plan), 6);
  const std::string text = NvtPlanText(plan);
  EXPECT_NE(text.find("00:1A:2B:3C:4D:02  -  [the file does not name this device: no request]"), std::string::npos)
      << text;
  EXPECT_NE(text.find("00:1A:2B:3C:4D:03  STATIC  10.1.0.3  [address already used by 00:1A:2B:3C:4D:02]"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("999.1.1.1  [not a valid address: no request]"), std::string::npos) << text;

  // A file that cannot be opened ends the run as an empty one.
  p.file_path = dir.File("missing.txt");
  EXPECT_TRUE(Run().empty());
}

TEST_F(MultipleIpRun, RunnerStopsBetweenRequestsAndStillEndsTheRun) {
  FakeDevices devices({});  // nobody answers: 200 ms per device
  for (uint8_t i = 1; i <= 10; ++i) p.devices.push_back(Dev(i));
  p.start_ip = IpFromOctets(192, 168, 1, 1);
  RecordingSink sink;
  NvtSettingRunner runner;
  ASSERT_TRUE(runner.Start(p, &sink));
  ASSERT_TRUE(dktest::WaitFor([&] { return !devices.Requests().empty(); }, 10000)) << "no request went out";
  runner.Stop();
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(sink.CountOf(UM_IP_CHECK_START), 1u);
  // Every request sent has its result, and the stop came before the last.
  const size_t sent = devices.Requests().size();
  EXPECT_EQ(sink.CountOf(UM_IP_SETTING_RESULT), sent);
  EXPECT_GE(sent, 1u);
  EXPECT_LT(sent, 10u);
}

TEST(MultipleIpVerification, OnlyTheNewSettingCounts) {
  DeviceRecord sent = Dev(1);
  sent.configured_ip = IpFromOctets(192, 168, 1, 161);
  DeviceRecord reply = Dev(1);  // still at 10.0.0.1
  EXPECT_FALSE(NvtVerificationMatches(sent, reply));
  reply.ip = sent.configured_ip;
  EXPECT_TRUE(NvtVerificationMatches(sent, reply));
  reply.mac[5] = 2;
  EXPECT_FALSE(NvtVerificationMatches(sent, reply));
  sent.network_type = 0;  // DHCP: the address is the server's choice
  reply = Dev(1);
  EXPECT_FALSE(NvtVerificationMatches(sent, reply));
  reply.network_type = 0;
  EXPECT_TRUE(NvtVerificationMatches(sent, reply));
  std::memset(sent.mac, 0, 6);  // verified entries never match again
  std::memset(reply.mac, 0, 6);
  EXPECT_FALSE(NvtVerificationMatches(sent, reply));
}

}  // namespace
