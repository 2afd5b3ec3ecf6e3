// The firmware update run without root: devices on loopback addresses (a web
// server each and TALQ on the simulator's codec), requests sent to
// 127.0.0.1 instead of the broadcast, short timings.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/talq/talq_client.h"
#include "engine/update/update_run.h"
#include "tests/http/local_http_server.h"
#include "tests/support/fake_talq_device.h"
#include "tests/support/firmware_image.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

const uint32_t kLoopback = IpFromOctets(127, 0, 0, 1);
const char kNewVersion[] = "7.0.1";
constexpr size_t kPayload = 200000;

// One device at 127.0.0.<n>: takes the upload and then reports the image's
// version; answers the factory default with factory_status.
class WebDevice {
 public:
  WebDevice(uint8_t n, int factory_status = 200, uint32_t version_delay_ms = 0)
      : ip_(IpFromOctets(127, 0, 0, n)), n_(n) {
    web_ = std::make_unique<LocalHttpServer>(
        [this, factory_status, version_delay_ms](const std::string& req) {
          std::lock_guard<std::mutex> lk(mu_);
          if (req.rfind("POST /cgi-bin/", 0) == 0) {
            ++uploads_;
            version_ = kNewVersion;
            return OneChunk("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nOK\r\n");
          }
          if (req.find("ITEM=software_version") != std::string::npos) {
            checks_.push_back(std::chrono::steady_clock::now());
            ReplyScript s;
            s.chunks.push_back({version_delay_ms, "HTTP/1.0 200 OK\r\n\r\n" + version_ + "\r\n"});
            return s;
          }
          if (req.find("TYPE=factoryDefault") != std::string::npos)
            return OneChunk("HTTP/1.0 " + std::to_string(factory_status) + " X\r\nContent-Length: 0\r\n\r\n");
          return OneChunk("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        },
        ip_);
  }
  bool ok() const { return web_->ok(); }
  uint32_t ip() const { return ip_; }
  int uploads() const {
    std::lock_guard<std::mutex> lk(mu_);
    return uploads_;
  }
  std::vector<std::chrono::steady_clock::time_point> checks() const {
    std::lock_guard<std::mutex> lk(mu_);
    return checks_;
  }
  // Its TALQ side: answers discovery from its address with its web port.
  dktest::FakeTalqDevices::Device Talq(int set_network_result = -1) const {
    dktest::FakeTalqDevices::Device d;
    d.cfg = dktest::TestDevice(n_);
    d.cfg.ip = ip_;
    d.cfg.web_port = web_->port();
    d.reply_from = ip_;
    d.set_network_result = set_network_result;
    return d;
  }
  DeviceRecord Record() const {
    DeviceRecord r{};
    const dksim::SimDeviceConfig c = dktest::TestDevice(n_);
    std::copy(c.mac, c.mac + 6, r.mac);
    r.ip = ip_;
    r.configured_ip = ip_;
    r.web_port = web_->port();
    r.network_type = 1;
    return r;
  }

 private:
  uint32_t ip_;
  uint8_t n_;
  mutable std::mutex mu_;
  int uploads_ = 0;
  std::string version_ = "1.0.0";
  std::vector<std::chrono::steady_clock::time_point> checks_;
  std::unique_ptr<LocalHttpServer> web_;
};

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HttpGlobalInit(), 0);
    TalqSetTraceEnabled(false);
    TalqSetRequestAddress(kLoopback);
    image_ = dktest::WriteFirmware(dir_, "fw.bin", kNewVersion, kPayload);
  }
  void TearDown() override { TalqSetRequestAddress(dk::IpBroadcast()); }

  UpdateConfig Config(const std::vector<const WebDevice*>& devices) const {
    UpdateConfig c;
    for (const WebDevice* d : devices) c.devices.push_back(d->Record());
    c.firmware_path = image_;
    c.expected_version = kNewVersion;
    c.type_index = 1;
    c.before_id = c.after_id = "root";
    c.before_password = c.after_password = "tulp";
    c.flush_arp = false;
    UpdateTimings& t = c.timings;
    t.set_network.result_wait_s = 0;
    t.set_network.result_wait_us = 300000;
    t.broadcast_ms = 50;
    t.reappear_ms = 1500;
    t.head_start_ms = 20;
    t.after_uploads_ms = 20;
    t.tick_ms = 200;
    t.attempt_pause_ms = 10;
    t.factory_wait_ms = 2000;
    t.overall_ms = 15000;
    t.slice_ms = 10;
    t.progress_ms = 5;
    return c;
  }
  static int32_t StatusOf(const UpdateRunResult& r, size_t i) { return r.devices.at(i).status; }

  TempDir dir_;
  std::string image_;
};

// UPDATE_XFLAG picks the pairs: the address step on the first, the wait
// after the upload on the second.
TEST_F(UpdateRunTest, XflagPicksThePortPairOfEachPhase) {
  const struct {
    int32_t xflag;
    uint16_t first, second;
  } cases[] = {{0, kTalqDestPort, kTalqDestPort},
               {1, kTalqDestPort, kTalqAltDestPort},
               {2, kTalqAltDestPort, kTalqDestPort},
               {4, kTalqAltDestPort, kTalqAltDestPort}};
  for (const auto& c : cases) {
    EXPECT_EQ(UpdateFirstPorts(c.xflag).dest, c.first) << c.xflag;
    EXPECT_EQ(UpdateSecondPorts(c.xflag).dest, c.second) << c.xflag;
    WebDevice dev(2);
    ASSERT_TRUE(dev.ok());
    dktest::FakeTalqDevices main(kTalqDestPort, {dev.Talq(0)});
    dktest::FakeTalqDevices alt(kTalqAltDestPort, {dev.Talq(0)});
    ASSERT_TRUE(main.ok() && alt.ok());
    UpdateConfig cfg = Config({&dev});
    cfg.xflag = c.xflag;
    cfg.ip_setting = true;
    cfg.start_ip = dev.ip();  // it stays where it is
    cfg.subnet_mask = IpFromOctets(255, 0, 0, 0);
    dk::StopFlag stop;
    UpdateRunResult r;
    EXPECT_EQ(UpdateRun(cfg, stop, nullptr, &r), 0) << c.xflag;
    EXPECT_EQ(StatusOf(r, 0), kUpdateVerified) << c.xflag;
    const dktest::FakeTalqDevices& first = c.first == kTalqDestPort ? main : alt;
    const dktest::FakeTalqDevices& other = c.first == kTalqDestPort ? alt : main;
    EXPECT_EQ(first.SetNetworkRequests().size(), 1u) << c.xflag;
    EXPECT_TRUE(other.SetNetworkRequests().empty()) << c.xflag;
    // Discovery only on the pairs in use.
    if (c.first == c.second) {
      EXPECT_EQ(other.discovery_requests(), 0) << c.xflag;
    }
    EXPECT_GT((c.second == kTalqDestPort ? main : alt).discovery_requests(), 0) << c.xflag;
  }
}

// The address step: a refusal is -7 (an invalid value) or -6 (credentials);
// devices not found again leave the run, get no upload and fail it.
TEST_F(UpdateRunTest, AddressStepRefusalsAndDroppedDevices) {
  WebDevice ok(2), invalid(3), auth(4), gone(9);
  ASSERT_TRUE(ok.ok() && invalid.ok() && auth.ok() && gone.ok());
  dktest::FakeTalqDevices::Device silent = gone.Talq(0);
  silent.answers_discovery = [] { return false; };  // takes its address and is never heard again
  dktest::FakeTalqDevices talq(kTalqDestPort, {ok.Talq(0), invalid.Talq(1), auth.Talq(2), silent});
  ASSERT_TRUE(talq.ok());
  UpdateConfig cfg = Config({&ok, &invalid, &auth, &gone});
  cfg.ip_setting = true;
  cfg.start_ip = ok.ip();  // 127.0.0.2 onwards: each offered its own address
  cfg.subnet_mask = IpFromOctets(255, 0, 0, 0);
  RecordingSink sink;
  dk::StopFlag stop;
  UpdateRunResult r;
  EXPECT_EQ(UpdateRun(cfg, stop, &sink, &r), 1);
  ASSERT_EQ(r.devices.size(), 4u);
  EXPECT_EQ(StatusOf(r, 0), kUpdateVerified);
  EXPECT_EQ(StatusOf(r, 1), kUpdateIpRefused);
  EXPECT_EQ(StatusOf(r, 2), kUpdateIpAuthRefused);
  // Not found again in time: the refused ones and the silent one leave the
  // run, and the run fails although the one left was updated.
  EXPECT_FALSE(r.devices[0].dropped);
  for (size_t i = 1; i < 4; ++i) EXPECT_TRUE(r.devices[i].dropped) << i;
  ASSERT_EQ(sink.CountOf(UM_UPDATE_DONE), 1u);
  EXPECT_EQ(sink.Snapshot().back().wparam, kUpdateDoneFailed);
  EXPECT_EQ(talq.SetNetworkRequests().size(), 4u);
  EXPECT_EQ(ok.uploads(), 1);
  EXPECT_EQ(invalid.uploads() + auth.uploads() + gone.uploads(), 0);
  EXPECT_EQ(UpdateStatusText(kUpdateIpRefused, ""), "ip setting error 'unknown'");
}

// Progress reports per device rise to the whole request; version checks of
// different devices never run beside each other beyond max_checks.
TEST_F(UpdateRunTest, ProgressRisesToTheWholeUploadAndChecksKeepTheirCap) {
  WebDevice a(2, 200, 150), b(3, 200, 150), c(4, 200, 150);
  ASSERT_TRUE(a.ok() && b.ok() && c.ok());
  dktest::FakeTalqDevices talq(kTalqDestPort, {a.Talq(), b.Talq(), c.Talq()});
  ASSERT_TRUE(talq.ok());
  UpdateConfig cfg = Config({&a, &b, &c});
  cfg.timings.max_checks = 1;
  std::mutex mu;
  std::vector<std::vector<uint64_t>> seen(3);
  cfg.upload_progress = [&](size_t i, uint64_t sent) {
    std::lock_guard<std::mutex> lk(mu);
    seen.at(i).push_back(sent);
  };
  dk::StopFlag stop;
  UpdateRunResult r;
  EXPECT_EQ(UpdateRun(cfg, stop, nullptr, &r), 0);
  const size_t image = dktest::FirmwareImage(kNewVersion, kPayload).size();
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(StatusOf(r, i), kUpdateVerified) << i;
    ASSERT_FALSE(seen[i].empty()) << i;
    EXPECT_TRUE(std::is_sorted(seen[i].begin(), seen[i].end())) << i;
    EXPECT_EQ(seen[i].back(), r.devices[i].uploaded) << i;
    EXPECT_GT(r.devices[i].uploaded, image) << i;  // the image and the form around it
  }
  // One check at a time: each device's one version request (answered after
  // 150 ms) starts only after the one before has been answered.
  std::vector<std::chrono::steady_clock::time_point> at;
  for (const WebDevice* d : {&a, &b, &c}) {
    const auto checks = d->checks();
    ASSERT_EQ(checks.size(), 1u);
    at.push_back(checks[0]);
  }
  std::sort(at.begin(), at.end());
  for (size_t i = 1; i < at.size(); ++i) EXPECT_GE(at[i] - at[i - 1], std::chrono::milliseconds(140)) << i;
}

// The factory default afterwards: a device answering it with 400 or more is
// -12 at once and the run fails.
TEST_F(UpdateRunTest, RefusedFactoryDefaultIsMinus12) {
  WebDevice dev(2, 403);
  ASSERT_TRUE(dev.ok());
  dktest::FakeTalqDevices talq(kTalqDestPort, {dev.Talq()});
  ASSERT_TRUE(talq.ok());
  UpdateConfig cfg = Config({&dev});
  cfg.factory_after = true;
  RecordingSink sink;
  dk::StopFlag stop;
  UpdateRunResult r;
  EXPECT_EQ(UpdateRun(cfg, stop, &sink, &r), 1);
  EXPECT_EQ(StatusOf(r, 0), kUpdateFactoryRefused);
  EXPECT_EQ(UpdateStatusText(kUpdateFactoryRefused, ""), "update error 'CHECK_FACTORYDEFAULT'");
  EXPECT_EQ(sink.CountOf(UM_UPDATE_DONE), 1u);
}

}  // namespace
