// The tool's own TALQ client and HTTP requests against 50 simulated devices
// on a real (namespaced) Ethernet segment. Runs through scripts/segment with
// tests/segment/fleet_basic.txt. Tests run in file order; devices 10-19 are
// changed by the later ones and left out of the field comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "engine/ops/device_http_client.h"
#include "engine/ops/http_requests.h"
#include "engine/update/firmware_upload.h"
#include "platform/ticks.h"
#include "sim/sim_fleet.h"
#include "tests/segment/segment_support.h"
#include "tests/support/firmware_image.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

using namespace segtest;
using dksim::FactoryIp;
using dksim::SimDeviceConfig;

namespace {

const uint32_t kMask16 = IpFromOctets(255, 255, 0, 0);

class SegmentBasic : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HttpGlobalInit();
    fleet_ = new std::vector<SimDeviceConfig>(LoadTestFleet());
  }
  static void TearDownTestSuite() {
    delete fleet_;
    fleet_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(fleet_->size(), 50u) << "DK_TEST_FLEET must name the 50-device fleet"; }
  const SimDeviceConfig& Dev(int i) { return (*fleet_)[static_cast<size_t>(i)]; }

  // Version text as the information query reads it.
  static std::string Version(uint32_t ip, uint16_t port) {
    DeviceHttpClient http;
    char value[kHttpValueSize] = {};
    const int32_t rc = http.Request(IpText(ip).c_str(), port, "root", "tulp", "general", "software_version", value);
    return rc > 0 && http.LastValueFound() ? std::string(value) : "<no answer " + std::to_string(rc) + ">";
  }

  // A later marker for "nothing moved": a move of device 19 asked now comes
  // after any move the requests before it started (the same delay, in order).
  void MoveMarker(uint8_t last) {
    const uint32_t to = IpFromOctets(10, 77, 98, last);
    ASSERT_EQ(SetNetwork(StaticRequestFor(Dev(19), "root", "tulp", to, kMask16)), 0);
    ASSERT_TRUE(WaitForEvent({"\"ev\":\"moved\"", MacText(Dev(19).mac), "\"to\":\"" + IpText(to) + "\""}));
  }

  static std::vector<SimDeviceConfig>* fleet_;
};
std::vector<SimDeviceConfig>* SegmentBasic::fleet_ = nullptr;

}  // namespace

TEST_F(SegmentBasic, DiscoveryFindsEveryDeviceFromItsOwnAddressWithItsFields) {
  for (auto ports : {std::pair<uint16_t, uint16_t>{32153, 32154}, {33001, 33000}}) {
    const ScanResult r = Scan(ports.first, ports.second, 500);
    EXPECT_EQ(r.devices.size(), 50u) << "port pair " << ports.first;
    EXPECT_TRUE(r.failures.empty());
    std::set<uint32_t> sources;
    for (const auto& [k, rec] : r.devices) sources.insert(rec.ip);
    EXPECT_EQ(sources.size(), 50u);
    for (int i = 0; i < 50; ++i) {
      if (i >= 10 && i < 20) continue;
      auto it = r.devices.find(MacKey(Dev(i).mac));
      ASSERT_NE(it, r.devices.end()) << "device " << i;
      EXPECT_EQ(RecordDiff(it->second, ExpectedRecord(Dev(i))), "") << "device " << i;
    }
  }
  // What the simulator saw: one request per scan, every device answered.
  const auto done = EventLines({"\"ev\":\"discovery_done\"", "\"answered\":50"});
  EXPECT_GE(done.size(), 2u);
}

TEST_F(SegmentBasic, SetNetworkByMacMovesTheDeviceWhichAnswersFromTheNewAddress) {
  const SimDeviceConfig& d = Dev(10);
  const uint32_t target = IpFromOctets(10, 77, 99, 10);
  ASSERT_EQ(SetNetwork(StaticRequestFor(d, "root", "tulp", target, IpFromOctets(255, 255, 255, 0))), 0);
  DeviceRecord rec;
  ASSERT_TRUE(WaitForDevice(d.mac, target, 5000, &rec));
  EXPECT_EQ(rec.configured_ip, target);
  EXPECT_EQ(rec.subnet_mask, IpFromOctets(255, 255, 255, 0));
  EXPECT_EQ(rec.network_type, 1);
  // The web server follows the address; the old one is gone.
  EXPECT_EQ(Version(target, 80), d.firmware);
  DeviceHttpClient http;
  EXPECT_EQ(http.Request(IpText(d.ip).c_str(), 80, "root", "tulp", "general", "software_version", nullptr), -1);
  EXPECT_EQ(EventLines({"\"ev\":\"moved\"", MacText(d.mac), "\"to\":\"10.77.99.10\""}).size(), 1u);
  EXPECT_EQ(EventLines({"\"ev\":\"set_network\"", MacText(d.mac), "\"id\":\"root\"", "\"result\":0"}).size(), 1u);
}

TEST_F(SegmentBasic, OtherAdministratorAndDhcpAreHonoured) {
  const SimDeviceConfig& admin = Dev(7);  // admin with a 16-character password
  EXPECT_EQ(SetNetwork(StaticRequestFor(admin, "root", "tulp", IpFromOctets(10, 77, 99, 7), kMask16)), 2);
  ASSERT_EQ(SetNetwork(StaticRequestFor(admin, "admin", "Secret#2026Long!", IpFromOctets(10, 77, 99, 7), kMask16)), 0);
  DeviceRecord rec;
  EXPECT_TRUE(WaitForDevice(admin.mac, IpFromOctets(10, 77, 99, 7), 5000, &rec));

  SetNetworkRequest dhcp = StaticRequestFor(Dev(17), "root", "tulp", 0, 0);
  dhcp.network_type = 0;
  ASSERT_EQ(SetNetwork(dhcp), 0);
  dk::TickTimer t;
  t.Start();
  bool leased = false;
  while (!leased && !t.Expired(5000)) {
    ASSERT_TRUE(WaitForDevice(Dev(17).mac, 0, 2000, &rec));
    leased = rec.network_type == 0 && IpOctet(rec.ip, 2) >= 200 && rec.ip != Dev(5).ip;
  }
  EXPECT_TRUE(leased) << IpText(rec.ip);
}

TEST_F(SegmentBasic, WrongCredentialsGiveResult2AndMoveNothing) {
  const SimDeviceConfig& d = Dev(11);
  EXPECT_EQ(SetNetwork(StaticRequestFor(d, "root", "wrong", IpFromOctets(10, 77, 99, 11), kMask16)), 2);
  EXPECT_EQ(SetNetwork(StaticRequestFor(d, "rooot", "tulp", IpFromOctets(10, 77, 99, 11), kMask16)), 2);
  MoveMarker(1);
  DeviceRecord rec;
  ASSERT_TRUE(WaitForDevice(d.mac, 0, 2000, &rec));
  EXPECT_EQ(rec.ip, d.ip);
  EXPECT_EQ(EventLines({"\"ev\":\"set_network\"", MacText(d.mac), "\"result\":2", "wrong credentials"}).size(), 2u);
}

TEST_F(SegmentBasic, InvalidValuesGiveAnotherResult) {
  const SimDeviceConfig& d = Dev(12);
  const int zero_ip = SetNetwork(StaticRequestFor(d, "root", "tulp", 0, kMask16));
  EXPECT_NE(zero_ip, 0);
  EXPECT_NE(zero_ip, 2);
  EXPECT_GT(zero_ip, 0) << "a result reply must come";
  const int holey = SetNetwork(StaticRequestFor(d, "root", "tulp", IpFromOctets(10, 77, 99, 12),
                                                IpFromOctets(255, 0, 255, 0)));
  EXPECT_NE(holey, 0);
  EXPECT_NE(holey, 2);
  EXPECT_GT(holey, 0);
  MoveMarker(2);
  DeviceRecord rec;
  ASSERT_TRUE(WaitForDevice(d.mac, 0, 2000, &rec));
  EXPECT_EQ(rec.ip, d.ip);
}

TEST_F(SegmentBasic, FactoryDefaultOverHttpBringsTheDeviceBackAtTheFactoryAddress) {
  const SimDeviceConfig& d = Dev(13);
  // Wrong password: refused, the device stays.
  EXPECT_EQ(FactoryDefaultRequestProc(MakeFactoryDefaultParam(IpText(d.ip).c_str(), "root", "bad", 0)), 0);
  EXPECT_EQ(FactoryDefaultRequestProc(MakeFactoryDefaultParam(IpText(d.ip).c_str(), "root", "tulp", 0)), 0);
  DeviceRecord rec;
  ASSERT_TRUE(WaitForDevice(d.mac, FactoryIp(), 10000, &rec));
  EXPECT_EQ(IpText(rec.ip), "192.168.1.2");
  EXPECT_EQ(rec.configured_ip, FactoryIp());
  EXPECT_EQ(rec.subnet_mask, IpFromOctets(255, 255, 255, 0));
  EXPECT_EQ(rec.network_type, 1);
  EXPECT_EQ(rec.web_port, 80);
  EXPECT_EQ(Version(FactoryIp(), 80), d.firmware);
  EXPECT_EQ(EventLines({"\"ev\":\"http_auth_refused\"", MacText(d.mac)}).size(), 1u);
  EXPECT_EQ(EventLines({"\"ev\":\"reset\"", MacText(d.mac), "192.168.1.2"}).size(), 1u);
}

TEST_F(SegmentBasic, InformationQueriesAnswerWithTheDevicesValues) {
  const SimDeviceConfig& d = Dev(14);
  EXPECT_EQ(Version(d.ip, 80), "3.3.3");
  DeviceHttpClient http;
  char serial[kHttpValueSize] = {};
  EXPECT_GT(http.Request(IpText(d.ip).c_str(), 80, "root", "tulp", nullptr, "serial", serial), 0);
  EXPECT_STREQ(serial, "SN-SEG-014");
  RecordingSink sink;
  EXPECT_EQ(QuerySystemMode(IpText(d.ip).c_str(), 80, &sink), 0);
  const auto msgs = sink.Take();
  ASSERT_EQ(msgs.size(), 1u);
  ASSERT_TRUE(std::holds_alternative<std::string>(msgs[0].payload));
  EXPECT_EQ(std::get<std::string>(msgs[0].payload), d.mode == dksim::SystemMode::kDecoder ? "decoder" : "encoder");
  // A device on another web port answers there only.
  EXPECT_EQ(Version(Dev(6).ip, 8080), "5.2.1");
  // Port 80 of its address is taken by the wildcard listener and reset at
  // once; whether the client sees that at connect or at receive is timing.
  EXPECT_LE(http.Request(IpText(Dev(6).ip).c_str(), 80, "root", "tulp", "general", "software_version", nullptr), 0);
  EXPECT_EQ(EventLines({"\"ev\":\"http_request\"", MacText(d.mac), "TYPE=serial"}).size(), 1u);
}

TEST_F(SegmentBasic, FirmwareUploadRestartsTheDeviceWithTheImagesVersion) {
  // Both forms of the product's upload (type index 0 and 1); the simulator's
  // refusal of a field that does not fit the form is a test of its own.
  TempDir dir;
  const struct {
    int dev;
    int32_t type;
    const char* version;
  } cases[] = {{15, 0, "9.1.15"}, {16, 1, "9.1.16"}};
  const size_t payload = 3 << 20;
  for (const auto& c : cases) {
    const SimDeviceConfig& d = Dev(c.dev);
    const std::string path = dktest::WriteFirmware(dir, "fw-" + std::string(c.version) + ".bin", c.version, payload);
    const size_t size = dktest::FirmwareImage(c.version, payload).size();
    uint64_t sent = 0;
    long status = 0;
    ASSERT_EQ(UploadProc(MakeUpdateJob(path, IpText(d.ip).c_str(), "root", "tulp", 80, c.type), &sent, &status), 0)
        << c.type;
    EXPECT_EQ(status, 200);
    EXPECT_GE(sent, size);
    dk::TickTimer t;
    t.Start();
    std::string v;
    while (!t.Expired(15000) && (v = Version(d.ip, 80)) != c.version) dk::SleepMs(200);
    EXPECT_EQ(v, c.version) << c.type;
    const auto up = EventLines({"\"ev\":\"upload\"", MacText(d.mac), "\"complete\":true"});
    ASSERT_EQ(up.size(), 1u);
    EXPECT_NE(up[0].find("\"bytes\":" + std::to_string(size)), std::string::npos) << up[0];
    EXPECT_NE(up[0].find("\"filename\":\"" + path + "\""), std::string::npos) << up[0];
  }
}
