// Each fault mode, as the tool's own client meets it on the segment. Runs
// through scripts/segment with tests/segment/fleet_faults.txt.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

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
using dksim::SimDeviceConfig;

namespace {

enum {
  kNoDiscovery, kLate, kAuthRefuse, kNoMove, kMoveSilent, kHttpRefuse, kHttpHang, kHttpSplit, kUploadCut,
  kDupIp, kDupPartner, kBadLength, kGarbage, kPlain, kCount
};
const uint32_t kMask16 = IpFromOctets(255, 255, 0, 0);

class SegmentFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HttpGlobalInit();
    fleet_ = new std::vector<SimDeviceConfig>(LoadTestFleet());
  }
  static void TearDownTestSuite() {
    delete fleet_;
    fleet_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(fleet_->size(), size_t(kCount)) << "DK_TEST_FLEET must name the faults fleet"; }
  const SimDeviceConfig& Dev(int i) { return (*fleet_)[static_cast<size_t>(i)]; }
  static std::vector<SimDeviceConfig>* fleet_;
};
std::vector<SimDeviceConfig>* SegmentFaults::fleet_ = nullptr;

// Raw exchange: sends request, collects each received chunk separately until
// the peer closes or limit_ms pass.
std::vector<std::string> Exchange(uint32_t ip, uint16_t port, const std::string& request, uint32_t limit_ms,
                                  bool* connected) {
  std::vector<std::string> chunks;
  *connected = false;
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return chunks;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  std::memcpy(&a.sin_addr.s_addr, &ip, 4);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    *connected = true;
    (void)::send(s, request.data(), request.size(), MSG_NOSIGNAL);
    dk::TickTimer t;
    t.Start();
    while (!t.Expired(limit_ms)) {
      pollfd p{s, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::recv(s, buf, sizeof buf, 0);
      if (n <= 0) break;
      chunks.emplace_back(buf, static_cast<size_t>(n));
    }
  }
  ::close(s);
  return chunks;
}

std::string VersionRequest() {
  return "GET /GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version HTTP/1.1\r\nHost: 0.0.0.0\r\n\r\n";
}

}  // namespace

TEST_F(SegmentFaults, OneScanSeesWhatEachDiscoveryFaultAllows) {
  // Listen on past the 500 ms window to catch the late device.
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  ASSERT_EQ(c.Broadcast(&c), 0);
  dk::TickTimer t;
  t.Start();
  std::map<uint64_t, DeviceRecord> in_window, after_window;
  int bad_length = 0, bad_magic = 0;
  while (!t.Expired(2000)) {
    if (c.Wait(&c, 0, 1000) <= 0) continue;
    const bool window = !t.Expired(500);
    const int rc = c.RecvDiscovery(&c);
    if (rc == 1) (window ? in_window : after_window)[MacKey(c.parse.mac)] = c.parse;
    if (rc == -3) ++bad_length;
    if (rc == -1) ++bad_magic;
  }
  c.Close(&c.socket);

  auto seen = [&](int i) { return in_window.count(MacKey(Dev(i).mac)) != 0; };
  EXPECT_FALSE(seen(kNoDiscovery));
  EXPECT_FALSE(seen(kLate));
  EXPECT_TRUE(after_window.count(MacKey(Dev(kLate).mac)));
  EXPECT_FALSE(seen(kBadLength));
  EXPECT_TRUE(seen(kGarbage));
  EXPECT_EQ(bad_length, 2);  // the bad-length reply and the garbage device's cut copy
  EXPECT_EQ(bad_magic, 1);   // the garbage device's junk
  for (int i : {kAuthRefuse, kNoMove, kMoveSilent, kHttpRefuse, kHttpHang, kHttpSplit, kUploadCut, kPlain})
    EXPECT_TRUE(seen(i)) << i;
  ASSERT_TRUE(seen(kDupIp) && seen(kDupPartner));
  EXPECT_EQ(in_window[MacKey(Dev(kDupIp).mac)].ip, in_window[MacKey(Dev(kDupPartner).mac)].ip);
  EXPECT_EQ(EventLines({"\"ev\":\"discovery_dropped\"", MacText(Dev(kNoDiscovery).mac), "no-discovery fault"}).size(),
            1u);
}

TEST_F(SegmentFaults, SetNetworkFaults) {
  EXPECT_EQ(SetNetwork(StaticRequestFor(Dev(kAuthRefuse), "root", "tulp", IpFromOctets(10, 77, 98, 1), kMask16)), 2);
  EXPECT_EQ(SetNetwork(StaticRequestFor(Dev(kNoMove), "root", "tulp", IpFromOctets(10, 77, 98, 2), kMask16)), 0);
  const uint32_t silent_to = IpFromOctets(10, 77, 98, 3);
  EXPECT_EQ(SetNetwork(StaticRequestFor(Dev(kMoveSilent), "root", "tulp", silent_to, kMask16)), 0);
  // A bad length field fails the client's check although the device accepted.
  const uint32_t bad_to = IpFromOctets(10, 77, 98, 4);
  EXPECT_EQ(SetNetwork(StaticRequestFor(Dev(kBadLength), "root", "tulp", bad_to, kMask16)), -1);
  // Past the move delay: each device has done (or skipped) its move.
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"moved\"", MacText(Dev(kMoveSilent).mac), IpText(silent_to)}));
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"moved\"", MacText(Dev(kBadLength).mac), IpText(bad_to)}));
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"move_skipped\"", MacText(Dev(kNoMove).mac)}));
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"silent_forever\"", MacText(Dev(kMoveSilent).mac)}));
  const ScanResult r = Scan(kTalqBindPort, kTalqDestPort, 500);
  auto it = r.devices.find(MacKey(Dev(kNoMove).mac));
  ASSERT_NE(it, r.devices.end());
  EXPECT_EQ(it->second.ip, Dev(kNoMove).ip);
  EXPECT_EQ(r.devices.count(MacKey(Dev(kMoveSilent).mac)), 0u);
  EXPECT_EQ(EventLines({"\"ev\":\"moved\"", MacText(Dev(kMoveSilent).mac), IpText(silent_to)}).size(), 1u);
  EXPECT_EQ(EventLines({"\"ev\":\"silent_forever\"", MacText(Dev(kMoveSilent).mac)}).size(), 1u);
  EXPECT_EQ(EventLines({"\"ev\":\"moved\"", MacText(Dev(kBadLength).mac), IpText(bad_to)}).size(), 1u);
  EXPECT_EQ(EventLines({"\"ev\":\"move_skipped\"", MacText(Dev(kNoMove).mac)}).size(), 1u);
  // The silent device's web server is gone too, though its new address exists.
  bool connected = false;
  const auto chunks = Exchange(silent_to, 80, VersionRequest(), 500, &connected);
  EXPECT_TRUE(chunks.empty());
}

TEST_F(SegmentFaults, HttpRefuseResetsAndHangNeverAnswers) {
  bool connected = false;
  auto chunks = Exchange(Dev(kHttpRefuse).ip, 80, VersionRequest(), 1000, &connected);
  EXPECT_TRUE(chunks.empty());
  RecordingSink sink;
  EXPECT_EQ(QuerySystemMode(IpText(Dev(kHttpRefuse).ip).c_str(), 80, &sink), -2);
  EXPECT_EQ(sink.Take().size(), 0u);
  EXPECT_GE(EventLines({"\"ev\":\"http_refused\"", MacText(Dev(kHttpRefuse).mac), "http-refuse fault"}).size(), 2u);

  chunks = Exchange(Dev(kHttpHang).ip, 80, VersionRequest(), 1500, &connected);
  EXPECT_TRUE(connected);
  EXPECT_TRUE(chunks.empty()) << chunks[0];
  HttpClientTimings quick;
  quick.deadline_ms = 1000;
  DeviceHttpClient http(quick);
  char value[kHttpValueSize] = "unchanged";
  EXPECT_EQ(http.Request(IpText(Dev(kHttpHang).ip).c_str(), 80, "root", "tulp", "general", "software_version", value),
            0);
  EXPECT_STREQ(value, "unchanged");
  EXPECT_GE(EventLines({"\"ev\":\"http_hang\"", MacText(Dev(kHttpHang).mac)}).size(), 2u);
}

TEST_F(SegmentFaults, SplitReplyArrivesInThreeSegments) {
  bool connected = false;
  const auto chunks = Exchange(Dev(kHttpSplit).ip, 80, VersionRequest(), 3000, &connected);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(chunks[0].find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(chunks[1], "\r\n");
  EXPECT_EQ(chunks[2], "5.2.1\r\n");
}

TEST_F(SegmentFaults, UploadCutOffHalfwayFailsAndKeepsTheVersion) {
  TempDir dir;
  const std::string path = dktest::WriteFirmware(dir, "fw.bin", "2.0.0", 1 << 20);
  UpdateJob job = MakeUpdateJob(path, IpText(Dev(kUploadCut).ip).c_str(), "root", "tulp", 80, 0);
  job.timings.total_timeout_ms = 20000;
  // Cut halfway by the device (the socket buffers may have taken all of it).
  EXPECT_EQ(UploadProc(job), -2);
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"upload_cut\"", MacText(Dev(kUploadCut).mac)}));
  // The version request is the later marker: a restart would be logged before it.
  DeviceHttpClient http;
  char value[kHttpValueSize] = {};
  EXPECT_GT(http.Request(IpText(Dev(kUploadCut).ip).c_str(), 80, "root", "tulp", "general", "software_version", value), 0);
  EXPECT_STREQ(value, "1.0.0");
  EXPECT_EQ(EventLines({"\"ev\":\"upload_cut\"", MacText(Dev(kUploadCut).mac)}).size(), 1u);
  EXPECT_TRUE(EventLines({"\"ev\":\"restart\"", MacText(Dev(kUploadCut).mac)}).empty());
}

TEST_F(SegmentFaults, MalformedDatagramsAreLoggedAndTheDevicesCarryOn) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(s, 0);
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kTalqDestPort);
  to.sin_addr.s_addr = INADDR_BROADCAST;
  const std::vector<std::string> junk = {
      std::string("ADCT"), std::string("ADCT\x02\x09\x00\x03", 8), std::string("ADCT\x02\xff\x00\x04", 8),
      std::string(1400, 'A'), std::string("GET / HTTP/1.1\r\n\r\n")};
  for (const auto& j : junk) ::sendto(s, j.data(), j.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ::close(s);
  ASSERT_TRUE(WaitForEvent({"\"ev\":\"datagram_rejected\""}, junk.size()));
  // The scan is the later marker: a sixth rejection would come before its replies.
  const ScanResult r = Scan(kTalqBindPort, kTalqDestPort, 500);
  EXPECT_TRUE(r.devices.count(MacKey(Dev(kPlain).mac)));
  EXPECT_EQ(EventLines({"\"ev\":\"datagram_rejected\""}).size(), junk.size());
}
