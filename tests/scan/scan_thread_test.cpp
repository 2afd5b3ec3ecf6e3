// The scan thread against a fake device responder on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/discovery_scan.h"
#include "engine/talq/talq_client.h"
#include "platform/socket.h"
#include "platform/ticks.h"
#include "tests/support/no_new_threads.h"
#include "tests/support/fake_talq_device.h"
#include "tests/support/recording_sink.h"

namespace {

const uint32_t kLoopback = IpFromOctets(127, 0, 0, 1);
// A scan window that every answering responder meets even on a loaded machine.
constexpr uint32_t kAnswerWindowMs = 2000;

// A discovery reply as the simulator builds it; another code makes it
// something other than a discovery reply.
std::vector<uint8_t> Reply(uint8_t mac_last, const std::string& model, uint16_t web = 80, uint16_t av1 = 554,
                           uint8_t code = 5) {
  dksim::SimDeviceConfig d = dktest::TestDevice(mac_last, model);
  d.web_port = web;
  d.av_port1 = av1;
  std::vector<uint8_t> b = dktest::DiscoveryReply(d);
  b.at(7) = code;
  return b;
}

// Stands in for the devices: bound before the scan starts, it waits for the
// discovery request on its port and answers the sender with a script of
// datagrams. Every wait is bounded.
class Responder {
 public:
  explicit Responder(uint16_t port) {
    sock_ = dk::UdpOpen();
    bound_ = sock_ >= 0 && dk::SocketBind(sock_, kLoopback, port) == 0;
  }
  ~Responder() {
    if (thread_.joinable()) thread_.join();
    if (sock_ >= 0) dk::SocketClose(sock_);
  }
  bool bound() const { return bound_; }

  // delay_ms before the script is sent.
  void Serve(std::vector<std::vector<uint8_t>> script, uint32_t delay_ms = 0) {
    thread_ = std::thread([this, script = std::move(script), delay_ms] {
      uint8_t req[64];
      uint32_t ip = 0;
      uint16_t port = 0;
      if (dk::SocketWaitReadable(sock_, 3, 0) != 1) return;
      const int n = dk::UdpRecvFrom(sock_, req, sizeof req, &ip, &port);
      if (n == 9 && !std::memcmp(req, "ADCT", 4) && req[7] == 3) requests_.fetch_add(1);
      if (delay_ms) dk::SleepMs(delay_ms);
      for (const auto& d : script) dk::UdpSendTo(sock_, d.data(), d.size(), ip, port);
    });
  }
  // Requests seen on this port so far (Serve not needed), waiting up to ms.
  int DrainRequests(uint32_t ms) {
    uint8_t req[64];
    while (dk::SocketWaitReadable(sock_, 0, long(ms) * 1000) == 1) {
      const int n = dk::UdpRecvFrom(sock_, req, sizeof req, nullptr, nullptr);
      if (n == 9 && !std::memcmp(req, "ADCT", 4)) requests_.fetch_add(1);
      ms = 50;
    }
    return requests_.load();
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  int requests() const { return requests_.load(); }

 private:
  int sock_ = -1;
  bool bound_ = false;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TalqSetTraceEnabled(false);
    TalqSetRequestAddress(kLoopback);
  }
  void TearDown() override { TalqSetRequestAddress(dk::IpBroadcast()); }

  // Ports away from the product pairs, so other tests of the same run do not collide.
  static ScanConfig Config(uint32_t window_ms, uint16_t base) {
    ScanConfig c;
    c.timings.window_ms = window_ms;
    c.ports.a_bind = base;
    c.ports.a_dest = uint16_t(base + 1);
    c.ports.b_bind = uint16_t(base + 2);
    c.ports.b_dest = uint16_t(base + 3);
    return c;
  }

  static std::vector<uint8_t> MacLasts(const std::vector<WorkerMessage>& msgs) {
    std::vector<uint8_t> out;
    for (const auto& m : msgs)
      if (m.id == UM_DEVICE_FOUND) out.push_back(std::get<DeviceRecord>(m.payload).mac[5]);
    return out;
  }
};

TEST_F(ScanTest, RepliesArriveInOrderAndScanDoneIsLast) {
  const ScanConfig cfg = Config(kAnswerWindowMs, 47110);
  Responder dev(cfg.ports.a_dest);
  ASSERT_TRUE(dev.bound());
  dev.Serve({Reply(1, "NVT-A", 80, 554), Reply(2, "NVT-B", 0, 0), Reply(3, "NVT-C", 8080, 8554)});
  RecordingSink sink;
  dk::StopFlag stop;
  TalqThreadProc(cfg, stop, &sink);
  dev.Join();
  EXPECT_EQ(dev.requests(), 1);  // one broadcast per scan

  const auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 4u);
  EXPECT_EQ(MacLasts(msgs), (std::vector<uint8_t>{1, 2, 3}));
  const DeviceRecord& a = std::get<DeviceRecord>(msgs[0].payload);
  EXPECT_STREQ(a.model_name, "NVT-A");
  EXPECT_EQ(a.ip, kLoopback);  // the sender's address, not the configured one
  EXPECT_EQ(a.configured_ip, IpFromOctets(192, 168, 1, 1));
  EXPECT_EQ(a.web_port, 80);
  EXPECT_EQ(a.av_port1, 554);
  EXPECT_STREQ(std::get<DeviceRecord>(msgs[2].payload).model_name, "NVT-C");
  EXPECT_EQ(msgs.back().id, UM_SCAN_DONE);
  EXPECT_EQ(msgs.back().wparam, 0);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(msgs.back().payload));
}

// A TALQ datagram whose code byte is not 5 (code 1 answers like a parsed
// reply) must not repost the record parsed before it; malformed ones neither.
TEST_F(ScanTest, OnlyParsedRepliesArePosted) {
  const ScanConfig cfg = Config(kAnswerWindowMs, 47120);
  Responder dev(cfg.ports.a_dest);
  ASSERT_TRUE(dev.bound());
  std::vector<uint8_t> bad_len = Reply(8, "short");
  bad_len[5] = uint8_t(bad_len[5] + 1);
  std::vector<uint8_t> bad_magic = Reply(9, "magic");
  bad_magic[0] = 'X';
  dev.Serve({Reply(1, "first"), Reply(1, "code1", 80, 554, 1), Reply(1, "code7", 80, 554, 7), bad_len, bad_magic,
             Reply(1, "code0", 80, 554, 0), Reply(2, "second")});
  RecordingSink sink;
  dk::StopFlag stop;
  TalqThreadProc(cfg, stop, &sink);
  dev.Join();
  const auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_STREQ(std::get<DeviceRecord>(msgs[0].payload).model_name, "first");
  EXPECT_STREQ(std::get<DeviceRecord>(msgs[1].payload).model_name, "second");
  EXPECT_EQ(msgs[2].id, UM_SCAN_DONE);
}

TEST_F(ScanTest, SecondClientOnlyWithXflagBit0) {
  ScanConfig cfg = Config(kAnswerWindowMs, 47130);
  {
    Responder a(cfg.ports.a_dest), b(cfg.ports.b_dest);
    ASSERT_TRUE(a.bound() && b.bound());
    a.Serve({Reply(1, "on-a")});
    cfg.xflag = 2;  // other bits do not open client B
    RecordingSink sink;
    dk::StopFlag stop;
    TalqThreadProc(cfg, stop, &sink);
    a.Join();
    EXPECT_EQ(b.DrainRequests(50), 0);
    EXPECT_EQ(MacLasts(sink.Take()), (std::vector<uint8_t>{1}));
  }
  {
    Responder a(cfg.ports.a_dest), b(cfg.ports.b_dest);
    ASSERT_TRUE(a.bound() && b.bound());
    a.Serve({Reply(1, "on-a")});
    b.Serve({Reply(2, "on-b")}, 50);
    cfg.xflag = 3;
    RecordingSink sink;
    dk::StopFlag stop;
    TalqThreadProc(cfg, stop, &sink);
    a.Join();
    b.Join();
    EXPECT_EQ(b.requests(), 1);
    const auto msgs = sink.Take();
    std::vector<uint8_t> macs = MacLasts(msgs);
    std::sort(macs.begin(), macs.end());  // the two clients' replies may interleave either way
    EXPECT_EQ(macs, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(msgs.back().id, UM_SCAN_DONE);
  }
}

TEST_F(ScanTest, ManyRepliesInABurstAreAllPosted) {
  const ScanConfig cfg = Config(kAnswerWindowMs, 47140);
  Responder dev(cfg.ports.a_dest);
  ASSERT_TRUE(dev.bound());
  std::vector<std::vector<uint8_t>> script;
  for (int i = 0; i < 250; ++i) script.push_back(Reply(uint8_t(i), "burst"));
  dev.Serve(script);
  RecordingSink sink;
  dk::StopFlag stop;
  TalqThreadProc(cfg, stop, &sink);
  dev.Join();
  const auto macs = MacLasts(sink.Snapshot());
  ASSERT_EQ(macs.size(), 250u);
  for (int i = 0; i < 250; ++i) EXPECT_EQ(macs[size_t(i)], uint8_t(i));
}

TEST_F(ScanTest, RepliesAfterTheWindowAreNotSeen) {
  const ScanConfig cfg = Config(100, 47150);
  Responder dev(cfg.ports.a_dest);
  ASSERT_TRUE(dev.bound());
  dev.Serve({Reply(1, "late")}, 600);
  RecordingSink sink;
  dk::StopFlag stop;
  TalqThreadProc(cfg, stop, &sink);
  const auto msgs = sink.Take();
  dev.Join();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].id, UM_SCAN_DONE);
}

// The bind port is taken: the client cannot open, yet the scan runs its
// window and ends normally.
TEST_F(ScanTest, ClientThatCannotOpenStillRunsTheWindow) {
  const ScanConfig cfg = Config(200, 47160);
  const int blocker = dk::UdpOpen();
  ASSERT_GE(blocker, 0);
  ASSERT_EQ(dk::SocketBind(blocker, dk::kIpAny, cfg.ports.a_bind), 0);
  RecordingSink sink;
  dk::StopFlag stop;
  dk::TickTimer t;
  t.Start();
  TalqThreadProc(cfg, stop, &sink);
  EXPECT_GE(t.Elapsed(), cfg.timings.window_ms);
  dk::SocketClose(blocker);
  const auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].id, UM_SCAN_DONE);
  EXPECT_EQ(msgs[0].wparam, 0);
}

TEST_F(ScanTest, StopFlagEndsALongScanEarly) {
  ScanConfig cfg = Config(60000, 47170);
  cfg.xflag = 1;
  Responder dev(cfg.ports.a_dest);
  ASSERT_TRUE(dev.bound());
  RecordingSink sink;
  DiscoveryScanner scanner;
  ASSERT_TRUE(scanner.Start(cfg, &sink));
  // In its window: the request is out, the 60 s have hardly begun.
  ASSERT_GE(dev.DrainRequests(5000), 1);
  EXPECT_TRUE(scanner.Running());
  EXPECT_EQ(sink.CountOf(UM_SCAN_DONE), 0u);
  dk::TickTimer t;
  t.Start();
  scanner.Stop();
  EXPECT_LT(t.Elapsed(), 5000u);
  EXPECT_FALSE(scanner.Running());
  const auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].id, UM_SCAN_DONE);
}

TEST_F(ScanTest, StartStopsTheRunningScanFirst) {
  const ScanConfig cfg = Config(60000, 47180);
  Responder dev(cfg.ports.a_dest);
  ASSERT_TRUE(dev.bound());
  RecordingSink sink;
  DiscoveryScanner scanner;
  ASSERT_TRUE(scanner.Start(cfg, &sink));
  ASSERT_EQ(dev.DrainRequests(5000), 1) << "the first scan sent no request";
  // The second scan reuses the same bind port, which only works when the
  // first one has ended and closed its client.
  ASSERT_TRUE(scanner.Start(cfg, &sink));
  EXPECT_EQ(sink.CountOf(UM_SCAN_DONE), 1u);
  EXPECT_EQ(dev.DrainRequests(5000), 2);
  scanner.Stop();
  EXPECT_EQ(sink.CountOf(UM_SCAN_DONE), 2u);
  // Stopping an ended scanner again is harmless.
  scanner.Stop();
  EXPECT_FALSE(scanner.Running());
}

class ThrowingSink : public RecordingSink {
 public:
  void Post(WorkerMessage msg) override {
    if (msg.id == UM_DEVICE_FOUND) throw std::runtime_error("sink refused");
    RecordingSink::Post(std::move(msg));
  }
};

// A scan whose thread cannot start ends as a faulted one does, so the window
// says so instead of waiting for a scan that never runs.
TEST_F(ScanTest, AScanWithoutAThreadPostsItsFault) {
#ifdef _WIN32
  GTEST_SKIP() << DK_NO_NEW_THREADS_SKIP_REASON;
#endif
  RecordingSink sink;
  DiscoveryScanner scanner;
  {
    NoNewThreads none;
    ASSERT_TRUE(none.ok());
    EXPECT_FALSE(scanner.Start(Config(kAnswerWindowMs, 47210), &sink));
  }
  const auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].id, UM_SCAN_DONE);
  EXPECT_EQ(msgs[0].wparam, kScanDoneFault);
  ASSERT_TRUE(std::holds_alternative<std::string>(msgs[0].payload));
  EXPECT_EQ(std::get<std::string>(msgs[0].payload), "[ERROR] TalqThreadProc : TalqThreadProcRun");
  EXPECT_FALSE(scanner.Running());
}

TEST_F(ScanTest, FaultStillPostsScanDoneWithTheErrorText) {
  const ScanConfig cfg = Config(kAnswerWindowMs, 47190);
  {
    Responder dev(cfg.ports.a_dest);
    ASSERT_TRUE(dev.bound());
    dev.Serve({Reply(1, "x")});
    ThrowingSink sink;
    dk::StopFlag stop;
    TalqThreadProc(cfg, stop, &sink);
    dev.Join();
    const auto msgs = sink.Take();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].id, UM_SCAN_DONE);
    EXPECT_EQ(msgs[0].wparam, kScanDoneFault);
    ASSERT_TRUE(std::holds_alternative<std::string>(msgs[0].payload));
    EXPECT_EQ(std::get<std::string>(msgs[0].payload), "[ERROR] TalqThreadProc : TalqThreadProcRun");
  }
  // The faulted run closed its client: the port is free again.
  const int s = dk::UdpOpen();
  ASSERT_GE(s, 0);
  EXPECT_EQ(dk::SocketBind(s, dk::kIpAny, cfg.ports.a_bind), 0);
  dk::SocketClose(s);
}

}  // namespace
