// The firmware update run over simulated devices on a segment, on short
// timings: both upload forms, every failure the run must not call a success,
// the address step, the factory default afterwards and a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/ops/device_http_client.h"
#include "engine/update/update_run.h"
#include "platform/ticks.h"
#include "sim/sim_fleet.h"
#include "tests/segment/segment_support.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

using namespace segtest;

namespace {

enum {
  kGood, kPort8080, kNoWebItem, kWrongVersion, kNoReturn, kUploadCut, kUploadStall, kAuthRefuse, kUploadRefuse, kResultLost,
  kUploadReset, kFactoryRefuseLate, kMoveSilent, kCount
};

class SegmentUpdate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { HttpGlobalInit(); }
  void SetUp() override {
    fleet_ = LoadTestFleet();
    ASSERT_EQ(fleet_.size(), size_t(kCount)) << "DK_TEST_FLEET must name the update fleet";
  }
  // The devices' current records, as a scan finds them.
  std::vector<DeviceRecord> Current(const std::vector<int>& which) {
    std::vector<DeviceRecord> out;
    const ScanResult s = Scan(kTalqBindPort, kTalqDestPort, 600);
    for (int i : which) {
      auto it = s.devices.find(MacKey(fleet_[size_t(i)].mac));
      EXPECT_NE(it, s.devices.end()) << "device " << i << " did not answer";
      if (it != s.devices.end()) out.push_back(it->second);
    }
    return out;
  }
  // More than twice the PC's largest send buffer (4 MiB; the simulator's
  // cut and stalling devices read through a small buffer of their own) is
  // needed where a device cut half-way must be told from one that took every byte.
  std::string Image(const std::string& version, size_t payload_bytes = 64 * 1024) {
    std::string payload(payload_bytes, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 31);
    dir_.Write("fw " + version + ".bin", "DRAVENKIT-FW " + version + "\n" + payload);
    return dir_.File("fw " + version + ".bin");
  }
  UpdateConfig Config(const std::vector<int>& which, const std::string& version, int32_t type) {
    UpdateConfig c;
    c.devices = Current(which);
    c.type_index = type;
    c.before_id = c.after_id = "root";
    c.before_password = c.after_password = "tulp";
    c.firmware_path = Image(version);
    c.expected_version = version;
    c.flush_arp = false;
    UpdateTimings& t = c.timings;
    t.broadcast_ms = 300;
    t.reappear_ms = 4000;
    t.head_start_ms = 2000;
    t.after_uploads_ms = 200;
    t.tick_ms = 50;  // an absent device gives up after about 5 s
    t.attempt_pause_ms = 150;
    t.factory_wait_ms = 3000;
    t.overall_ms = 30000;
    t.slice_ms = 20;
    t.upload.low_speed_time_s = 1;
    t.factory.total_timeout_ms = 3000;
    return c;
  }
  int32_t Run(const UpdateConfig& c, UpdateRunResult* r) {
    dk::StopFlag stop;
    return UpdateRun(c, stop, &sink_, r);
  }
  // Statuses posted for a device, in order.
  std::vector<int32_t> Statuses(int dev) {
    std::vector<int32_t> out;
    for (const WorkerMessage& m : sink_.Snapshot())
      if (const auto* s = std::get_if<StatusReport>(&m.payload))
        if (m.id == UM_UPDATE_STATUS && std::memcmp(s->mac, fleet_[size_t(dev)].mac, 6) == 0) out.push_back(s->status);
    return out;
  }
  // Version reads the device received so far.
  size_t VersionRequests(int dev) {
    return EventLines({"\"ev\":\"http_request\"", "\"mac\":\"" + MacText(fleet_[size_t(dev)].mac) + "\"",
                       "ITEM=software_version"})
        .size();
  }
  // Every version check went to the address and port the device answered
  // discovery from, and the simulator saw each at that device.
  void ExpectChecksAtTheirDevices(const UpdateConfig& c, const UpdateRunResult& r) {
    ASSERT_EQ(r.devices.size(), c.devices.size());
    for (size_t i = 0; i < r.devices.size(); ++i) {
      const UpdateDeviceResult& d = r.devices[i];
      if (d.check_ip == 0) continue;
      const std::string mac = MacText(d.mac);
      EXPECT_EQ(d.check_ip, d.ip) << mac;
      EXPECT_EQ(d.check_port, c.devices[i].web_port == 0 ? 80 : c.devices[i].web_port) << mac;
      for (const std::string& l : EventLines({"\"ev\":\"http_request\"", "ITEM=software_version",
                                               "\"ip\":\"" + IpText(d.check_ip) + "\""}))
        EXPECT_NE(l.find("\"mac\":\"" + mac + "\""), std::string::npos) << l;
    }
  }
  int32_t DoneParam() {
    int32_t w = -100;
    for (const WorkerMessage& m : sink_.Snapshot())
      if (m.id == UM_UPDATE_DONE) w = m.wparam;
    return w;
  }

  std::vector<dksim::SimDeviceConfig> fleet_;
  TempDir dir_;
  RecordingSink sink_;
};

TEST_F(SegmentUpdate, BothUploadFormsUpdateEveryDevice) {
  struct Case {
    int32_t type;
    const char* version;
    const char* field;
  } cases[] = {{0, "2.0.1", "_f_l_a_s_h_3_"}, {1, "2.0.2", "FirmwareFile"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.type);
    sink_.Take();
    const UpdateConfig c = Config({kGood, kPort8080, kNoWebItem}, k.version, k.type);
    UpdateRunResult r;
    EXPECT_EQ(Run(c, &r), 0);
    EXPECT_EQ(DoneParam(), 0);
    ASSERT_EQ(r.devices.size(), 3u);
    for (const UpdateDeviceResult& d : r.devices) {
      EXPECT_EQ(d.status, kUpdateVerified);
      EXPECT_EQ(d.text, k.version);
      EXPECT_EQ(d.version, k.version);
      EXPECT_GT(d.uploaded, 64u * 1024);
    }
    const std::vector<int32_t> s = Statuses(kGood);
    ASSERT_GE(s.size(), 3u);
    EXPECT_EQ(s[0], kUpdateQueued);
    EXPECT_EQ(s[1], kUpdateUploadStarted);
    EXPECT_EQ(s.back(), kUpdateVerified);
    // The simulator took the form of this type, with the whole path and every byte.
    const auto lines = EventLines({"\"ev\":\"upload\"", "\"field_found\":true", "\"version\":\"" + std::string(k.version)});
    EXPECT_EQ(lines.size(), 3u);
    for (const std::string& l : lines) {
      EXPECT_NE(l.find("\"bytes\":" + std::to_string(64 * 1024 + 14 + std::strlen(k.version))), std::string::npos) << l;
      EXPECT_NE(l.find(c.firmware_path), std::string::npos) << l;
    }
  }
}

TEST_F(SegmentUpdate, WrongVersionAndLostDevicesEndTheRunFailed) {
  const UpdateConfig c = Config({kGood, kWrongVersion, kNoReturn}, "3.0.0", 1);
  UpdateRunResult r;
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(Run(c, &r), 1);
  EXPECT_LT(t.Elapsed(), 25000u);  // ends once nothing can change, not at the overall limit
  EXPECT_EQ(DoneParam(), kUpdateDoneFailed);
  ASSERT_EQ(r.devices.size(), 3u);
  EXPECT_EQ(r.devices[0].status, kUpdateVerified);
  EXPECT_EQ(r.devices[1].status, kUpdateWrongVersion);
  EXPECT_EQ(r.devices[1].version, "1.0.0");
  EXPECT_EQ(r.devices[2].status, kUpdateTimeout);
  EXPECT_FALSE(r.devices[2].has_version);
  const std::vector<int32_t> s = Statuses(kNoReturn);
  ASSERT_GE(s.size(), 4u);
  EXPECT_EQ(s[s.size() - 2], 99);  // ticked up to 99, then gave up
  EXPECT_EQ(VersionRequests(kWrongVersion), 4u);  // type index 1: four attempts
  ExpectChecksAtTheirDevices(c, r);
}

// With the product's 8-second tick: uploads cut before their last byte or
// refused end at once with their own texts and are never version-checked;
// one that took every byte and was reset instead of answered is checked like
// any other; one lost in the address step fails. The run ends failed long
// before ticking could have timed anything out (97 ticks, about 13 minutes).
TEST_F(SegmentUpdate, EachUploadEndsAsItHappened) {
  UpdateConfig c = Config({kUploadCut, kUploadReset, kUploadRefuse, kMoveSilent, kUploadStall}, "3.0.5", 1);
  c.firmware_path = Image("3.0.5", 16u << 20);
  c.ip_setting = true;
  c.start_ip = IpFromOctets(10, 77, 9, 50);
  c.subnet_mask = IpFromOctets(255, 255, 0, 0);
  c.gateway = c.dns_server = IpFromOctets(10, 77, 0, 1);
  c.timings.tick_ms = 8000;
  const size_t checks_before = VersionRequests(kUploadCut) + VersionRequests(kUploadStall) + VersionRequests(kUploadRefuse);
  UpdateRunResult r;
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(Run(c, &r), 1);
  EXPECT_LT(t.Elapsed(), 90000u);
  EXPECT_EQ(DoneParam(), kUpdateDoneFailed);
  ASSERT_EQ(r.devices.size(), 5u);
  const struct {
    int32_t status;
    const char* text;
    bool dropped;
  } want[] = {{kUpdateUploadFailed, "update error 'UPLOAD_TOOL -2'", false},
              {kUpdateVerified, "3.0.5", false},
              {kUpdateUploadRefused, "update error 'UPLOAD_FIRMWARE'", false},
              {kUpdateTimeout, "update error 'UPDATE_TIMEOUT'", true},
              {kUpdateUploadFailed, "update error 'UPLOAD_TOOL -2'", false}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(r.devices[i].status, want[i].status) << i;
    EXPECT_EQ(r.devices[i].text, want[i].text) << i;
    EXPECT_EQ(r.devices[i].dropped, want[i].dropped) << i;
  }
  EXPECT_EQ(r.devices[2].upload_http, 500);
  EXPECT_EQ(r.devices[1].version, "3.0.5");
  EXPECT_EQ(r.devices[1].upload_http, 0);  // no answer came: the check decided
  EXPECT_EQ(r.devices[3].uploaded, 0u);    // nothing went to a device never found again
  for (int dev : {kUploadCut, kUploadStall, kUploadRefuse}) {
    EXPECT_EQ(Statuses(dev).back(), dev == kUploadRefuse ? kUpdateUploadRefused : kUpdateUploadFailed) << dev;
  }
  EXPECT_EQ(Statuses(kMoveSilent).back(), kUpdateTimeout);  // its row says so too
  EXPECT_EQ(VersionRequests(kUploadCut) + VersionRequests(kUploadStall) + VersionRequests(kUploadRefuse), checks_before);
  EXPECT_FALSE(EventLines({"\"ev\":\"upload_stall\""}).empty());
  EXPECT_FALSE(EventLines({"\"ev\":\"upload_cut\""}).empty());
  EXPECT_FALSE(EventLines({"\"ev\":\"upload_reset\""}).empty());
  ExpectChecksAtTheirDevices(c, r);
}

// A factory default refused long after the request wait (401 after 2.5 s,
// the wait 0.5 s) ends its device at once, not at the overall limit.
TEST_F(SegmentUpdate, LateFactoryRefusalEndsTheRunWithinSeconds) {
  UpdateConfig c = Config({kGood, kFactoryRefuseLate}, "3.3.0", 0);
  c.factory_after = true;
  c.timings.factory_wait_ms = 500;
  c.timings.factory.total_timeout_ms = 10000;
  c.timings.overall_ms = 600000;
  UpdateRunResult r;
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(Run(c, &r), 1);
  EXPECT_LT(t.Elapsed(), 30000u);
  EXPECT_EQ(DoneParam(), kUpdateDoneFailed);
  ASSERT_EQ(r.devices.size(), 2u);
  EXPECT_EQ(r.devices[0].status, kUpdateFactoryBack);
  EXPECT_EQ(r.devices[1].status, kUpdateFactoryRefused);
  EXPECT_EQ(r.devices[1].text, "update error 'CHECK_FACTORYDEFAULT'");
  // The refusal came after the device had been told to be waited for.
  const std::vector<int32_t> s = Statuses(kFactoryRefuseLate);
  ASSERT_GE(s.size(), 2u);
  EXPECT_EQ(s[s.size() - 2], kUpdateVerified);
  EXPECT_EQ(s.back(), kUpdateFactoryRefused);
  EXPECT_FALSE(EventLines({"factory-refuse-late fault"}).empty());
}

// Nothing goes out for a run the window and the CLI refuse.
TEST_F(SegmentUpdate, EmptyVersionOrCutPasswordSendsNothing) {
  UpdateConfig empty = Config({kGood}, "", 0);
  UpdateConfig long_pw = Config({kGood}, "3.0.6", 0);
  long_pw.ip_setting = true;
  long_pw.before_password = "12345678901234567";
  long_pw.start_ip = IpFromOctets(10, 77, 9, 40);
  EXPECT_EQ(CheckUpdateConfig(empty).field, UpdateField::kVersion);
  EXPECT_EQ(CheckUpdateConfig(long_pw).text, "Admin Password is too long (at most 16 bytes)");
  const std::vector<std::string> sent = {"\"ev\":\"http_request\"", "\"mac\":\"" + MacText(fleet_[kGood].mac) + "\""};
  const size_t before = EventLines(sent).size();
  for (const UpdateConfig* c : {&empty, &long_pw}) {
    sink_.Take();
    EXPECT_EQ(Run(*c, nullptr), 1);
    EXPECT_TRUE(Statuses(kGood).empty());
    EXPECT_EQ(DoneParam(), kUpdateDoneFailed);
  }
  // Later markers, a request of our own over HTTP and one over TALQ: what
  // the runs sent would be logged before them.
  const std::vector<DeviceRecord> now = Current({kGood});
  ASSERT_EQ(now.size(), 1u);
  DeviceHttpClient http;
  char value[kHttpValueSize] = {};
  EXPECT_GT(http.Request(IpText(now[0].ip).c_str(), now[0].web_port, "root", "tulp", "general", "software_version",
                         value), 0);
  ASSERT_TRUE(WaitForEvent(sent, before + 1));
  const uint32_t marker_ip = IpFromOctets(10, 77, 9, 41);
  EXPECT_EQ(SetNetwork(StaticRequestFor(fleet_[kGood], "root", "wrong", marker_ip, IpFromOctets(255, 255, 0, 0))), 2);
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"set_network\"", "10.77.9.41"}));
  EXPECT_EQ(EventLines(sent).size(), before + 1);
  EXPECT_TRUE(EventLines({"\"ev\":\"set_network\"", "10.77.9.40"}).empty());
}

TEST_F(SegmentUpdate, TypeZeroTriesTheVersionTenTimes) {
  const size_t before = VersionRequests(kWrongVersion);
  UpdateRunResult r;
  EXPECT_EQ(Run(Config({kWrongVersion}, "3.0.1", 0), &r), 1);
  ASSERT_EQ(r.devices.size(), 1u);
  EXPECT_EQ(r.devices[0].status, kUpdateWrongVersion);
  EXPECT_EQ(VersionRequests(kWrongVersion) - before, 10u);
}

TEST_F(SegmentUpdate, AddressStepMovesAcceptingDevicesAndKeepsRefusedOnes) {
  UpdateConfig c = Config({kGood, kAuthRefuse}, "3.1.0", 0);
  c.ip_setting = true;
  c.start_ip = IpFromOctets(10, 77, 9, 10);
  c.subnet_mask = IpFromOctets(255, 255, 0, 0);
  c.gateway = c.dns_server = IpFromOctets(10, 77, 0, 1);
  const uint32_t refused_ip = c.devices[1].ip;
  UpdateRunResult r;
  EXPECT_EQ(Run(c, &r), 1);
  ASSERT_EQ(r.devices.size(), 2u);
  EXPECT_EQ(r.devices[0].ip, IpFromOctets(10, 77, 9, 10));
  EXPECT_EQ(r.devices[0].status, kUpdateVerified);
  const std::vector<int32_t> s = Statuses(kGood);
  ASSERT_GE(s.size(), 4u);
  EXPECT_EQ(std::vector<int32_t>(s.begin(), s.begin() + 4),
            (std::vector<int32_t>{kUpdateQueued, kUpdateIpAccepted, kUpdateFoundAgain, kUpdateUploadStarted}));
  // The refusing device keeps its address, and its upload goes there.
  EXPECT_EQ(Statuses(kAuthRefuse)[1], kUpdateIpAuthRefused);
  EXPECT_EQ(r.devices[1].ip, refused_ip);
  EXPECT_FALSE(EventLines({"\"ev\":\"http_request\"", "\"ip\":\"" + IpText(refused_ip) + "\"", "upload.cgi"}).empty());
}

// A device whose result never arrived may have moved: it counts as found
// only at the address it was sent, and its upload goes there, not to the
// old address it may still answer from for a moment.
TEST_F(SegmentUpdate, AddressStepFindsAnUnsureDeviceAtTheAddressSent) {
  UpdateConfig c = Config({kGood, kResultLost}, "3.1.5", 0);
  c.ip_setting = true;
  c.start_ip = IpFromOctets(10, 77, 9, 20);
  c.subnet_mask = IpFromOctets(255, 255, 0, 0);
  c.gateway = c.dns_server = IpFromOctets(10, 77, 0, 1);
  c.timings.reappear_ms = 20000;  // ends by finding both, long before this
  const uint32_t sent_ip = IpFromOctets(10, 77, 9, 21);
  UpdateRunResult r;
  EXPECT_EQ(Run(c, &r), 0);
  ASSERT_EQ(r.devices.size(), 2u);
  EXPECT_EQ(r.devices[1].ip, sent_ip);
  EXPECT_EQ(r.devices[1].status, kUpdateVerified);
  EXPECT_EQ(Statuses(kResultLost)[1], kUpdateFoundAgain);  // no result: straight from 0 to found
  const auto uploads = EventLines({"\"ev\":\"http_request\"", "\"mac\":\"" + MacText(fleet_[kResultLost].mac) + "\"", "upload.cgi"});
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_NE(uploads[0].find("\"ip\":\"" + IpText(sent_ip) + "\""), std::string::npos) << uploads[0];
  ExpectChecksAtTheirDevices(c, r);
}

TEST_F(SegmentUpdate, FactoryDefaultAfterwardsWaitsForTheFactoryAddress) {
  UpdateConfig c = Config({kGood}, "3.2.0", 0);
  c.factory_after = true;
  UpdateRunResult r;
  EXPECT_EQ(Run(c, &r), 0);
  ASSERT_EQ(r.devices.size(), 1u);
  EXPECT_EQ(r.devices[0].status, kUpdateFactoryBack);
  EXPECT_EQ(r.devices[0].text, "factorydefault successful");
  EXPECT_EQ(IpText(r.devices[0].ip), "192.168.1.2");
  std::vector<std::string> texts;
  for (const WorkerMessage& m : sink_.Snapshot())
    if (const auto* s = std::get_if<StatusReport>(&m.payload)) texts.push_back(s->text);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Init. factory"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Set factory ..."), texts.end());
}

TEST_F(SegmentUpdate, StopEndsTheRunAndItsThreadsWithoutADone) {
  UpdateConfig c = Config({kUploadStall}, "4.0.0", 0);
  c.timings.upload.low_speed_time_s = 60;  // only the stop ends the stalled upload
  c.timings.tick_ms = 8000;
  UpdateRunner runner;
  ASSERT_TRUE(runner.Start(c, &sink_));
  // Stop once the stalled upload has begun, so the stop meets the run's busiest phase.
  auto upload_started = [this] {
    for (const WorkerMessage& m : sink_.Snapshot())
      if (const auto* s = std::get_if<StatusReport>(&m.payload))
        if (s->status == kUpdateUploadStarted) return true;
    return false;
  };
  dk::TickTimer wait;
  wait.Start();
  while (!upload_started() && sink_.CountOf(UM_UPDATE_DONE) == 0 && wait.Elapsed() < 8000) dk::SleepMs(20);
  ASSERT_TRUE(upload_started()) << "the run ended or stalled before its upload";
  ASSERT_EQ(sink_.CountOf(UM_UPDATE_DONE), 0u);
  dk::TickTimer t;
  t.Start();
  runner.Stop();
  EXPECT_FALSE(runner.Running());
  EXPECT_LT(t.Elapsed(), 3000u);
  EXPECT_EQ(sink_.CountOf(UM_UPDATE_DONE), 0u);
}

}  // namespace
