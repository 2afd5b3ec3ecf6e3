// The information query against a local device web server on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>

#include "engine/devices/device_record.h"
#include "engine/ops/info_query.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"
#include "tests/http/local_http_server.h"
#include "tests/support/net_guard.h"
#include "tests/support/recording_sink.h"

namespace {

std::string Reply(const std::string& body) { return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body; }

// A device's web server: the JSON mode query, the version and the serial.
LocalHttpServer::Handler Device(const std::string& mode, const std::string& version, const std::string& serial,
                                uint32_t delay_ms = 0) {
  return [=](const std::string& req) {
    ReplyScript s;
    std::string body;
    if (req.rfind("POST /cgi-bin/GetJsonValue.cgi", 0) == 0) body = "\"" + mode + "\"\r\n";
    else if (req.find("ITEM=software_version") != std::string::npos) body = version + "\r\n";
    else if (req.find("TYPE=serial") != std::string::npos) body = serial + "\r\n";
    s.chunks.push_back({delay_ms, Reply(body)});
    return s;
  };
}

VersionQueryParam Param(uint32_t ip, uint16_t port) {
  VersionQueryParam p{};
  p.ip = ip;
  p.port = port;
  p.timings = InfoQueryTimings{};
  p.timings.http.deadline_ms = 1000;
  return p;
}

using Seq = std::vector<std::pair<int32_t, std::string>>;
Seq Sequence(RecordingSink& sink) {
  Seq out;
  for (auto& m : sink.Take()) out.emplace_back(m.id, std::get<std::string>(m.payload));
  return out;
}

TEST(InfoQueryTest, ReachableDeviceFillsThePanel) {
  LocalHttpServer srv(Device("encoder", "5.2.1", "SN0042"));
  ASSERT_TRUE(srv.ok());
  RecordingSink sink;
  dk::StopFlag stop;
  EXPECT_EQ(GetVersionThreadProc(Param(IpFromOctets(127, 0, 0, 1), srv.port()), stop, &sink), 0);
  Seq want = {{UM_FIRMWARE_VERSION_TEXT, ""}, {UM_SERIAL_TEXT, ""},           {UM_SYSTEM_MODE_TEXT, ""},
              {UM_SYSTEM_MODE_TEXT, "encoder"}, {UM_FIRMWARE_VERSION_TEXT, "5.2.1"}, {UM_SERIAL_TEXT, "SN0042"}};
  EXPECT_EQ(Sequence(sink), want);
  auto reqs = srv.Requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[1],
            "GET /GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version HTTP/1.1\r\n"
            "Host: 0.0.0.0\r\n\r\n");
  EXPECT_EQ(reqs[2], "GET /SysCommand.asp?USER=root&PWD=tulp&TYPE=serial HTTP/1.1\r\nHost: 0.0.0.0\r\n\r\n");
}

TEST(InfoQueryTest, OtherModesShowADash) {
  LocalHttpServer srv(Device("bridge", "1.0", "S"));
  ASSERT_TRUE(srv.ok());
  RecordingSink sink;
  dk::StopFlag stop;
  GetVersionThreadProc(Param(IpFromOctets(127, 0, 0, 1), srv.port()), stop, &sink);
  Seq s = Sequence(sink);
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[3], (std::pair<int32_t, std::string>{UM_SYSTEM_MODE_TEXT, "-"}));
}

TEST(InfoQueryTest, UnreachableDeviceShowsFailedWithoutHttp) {
  DK_REQUIRE_PRIVATE_NETWORK();
  RecordingSink sink;
  dk::StopFlag stop;
  EXPECT_EQ(GetVersionThreadProc(Param(IpFromOctets(198, 51, 100, 1), 80), stop, &sink), -1);
  Seq want = {{UM_FIRMWARE_VERSION_TEXT, "failed"}, {UM_SERIAL_TEXT, "failed"}, {UM_SYSTEM_MODE_TEXT, "failed"}};
  EXPECT_EQ(Sequence(sink), want);
}

TEST(InfoQueryTest, RefusingWebServer) {
  int l = dk::TcpListen(IpFromOctets(127, 0, 0, 1), 0, 1);
  uint16_t port = dk::TcpLocalPort(l);
  dk::TcpClose(l);
  RecordingSink sink;
  dk::StopFlag stop;
  GetVersionThreadProc(Param(IpFromOctets(127, 0, 0, 1), port), stop, &sink);
  // The mode transfer failed: its field stays empty from the clearing.
  Seq want = {{UM_FIRMWARE_VERSION_TEXT, ""},     {UM_SERIAL_TEXT, ""},     {UM_SYSTEM_MODE_TEXT, ""},
              {UM_FIRMWARE_VERSION_TEXT, "failed"}, {UM_SERIAL_TEXT, "failed"}};
  EXPECT_EQ(Sequence(sink), want);
}

TEST(InfoQueryTest, SilentValueRequestShowsFailed) {
  // The mode answers; the value requests are accepted and never answered.
  LocalHttpServer srv([](const std::string& req) {
    if (req.rfind("POST", 0) == 0) return OneChunk(Reply("\"decoder\"\r\n"));
    ReplyScript s;
    s.hold_ms = 3000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  VersionQueryParam p = Param(IpFromOctets(127, 0, 0, 1), srv.port());
  p.timings.http.deadline_ms = 200;
  RecordingSink sink;
  dk::StopFlag stop;
  GetVersionThreadProc(p, stop, &sink);
  Seq s = Sequence(sink);
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[3].second, "decoder");
  EXPECT_EQ(s[4], (std::pair<int32_t, std::string>{UM_FIRMWARE_VERSION_TEXT, "failed"}));
}

TEST(InfoQueryTest, StoppedQueryPostsNothing) {
  LocalHttpServer srv(Device("encoder", "5.2.1", "SN"));
  ASSERT_TRUE(srv.ok());
  RecordingSink sink;
  dk::StopFlag stop;
  stop.Set();
  GetVersionThreadProc(Param(IpFromOctets(127, 0, 0, 1), srv.port()), stop, &sink);
  EXPECT_EQ(sink.Snapshot().size(), 0u);
  EXPECT_EQ(srv.Accepted(), 0);
}

TEST(InfoQueryRunnerTest, NewerSelectionOwnsThePanel) {
  // The older device answers slowly; its answers must not land after the
  // newer device's.
  LocalHttpServer slow(Device("decoder", "9.9.9", "OLD", 400));
  LocalHttpServer fast(Device("encoder", "5.2.1", "NEW"));
  ASSERT_TRUE(slow.ok() && fast.ok());
  RecordingSink sink;
  InfoQueryRunner runner;
  ASSERT_TRUE(runner.Start(Param(IpFromOctets(127, 0, 0, 1), slow.port()), &sink));
  ASSERT_TRUE(sink.WaitFor(UM_SYSTEM_MODE_TEXT, 3000));  // the slow query is under way
  ASSERT_TRUE(runner.Start(Param(IpFromOctets(127, 0, 0, 1), fast.port()), &sink));
  dk::TickTimer t;
  t.Start();
  while (runner.Running() && !t.Expired(10000)) dk::SleepMs(10);
  EXPECT_FALSE(runner.Running());
  std::string last_version, last_serial, last_mode;
  for (auto& m : sink.Snapshot()) {
    const auto& s = std::get<std::string>(m.payload);
    EXPECT_NE(s, "9.9.9");
    EXPECT_NE(s, "OLD");
    EXPECT_NE(s, "decoder");
    if (m.id == UM_FIRMWARE_VERSION_TEXT) last_version = s;
    if (m.id == UM_SERIAL_TEXT) last_serial = s;
    if (m.id == UM_SYSTEM_MODE_TEXT) last_mode = s;
  }
  EXPECT_EQ(last_version, "5.2.1");
  EXPECT_EQ(last_serial, "NEW");
  EXPECT_EQ(last_mode, "encoder");
}

TEST(InfoQueryRunnerTest, StopWaitsForTheQuery) {
  LocalHttpServer srv([](const std::string&) {
    ReplyScript s;
    s.hold_ms = 5000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  RecordingSink sink;
  InfoQueryRunner runner;
  ASSERT_TRUE(runner.Start(Param(IpFromOctets(127, 0, 0, 1), srv.port()), &sink));
  ASSERT_TRUE(sink.WaitFor(UM_SYSTEM_MODE_TEXT, 3000));
  runner.Stop();
  EXPECT_FALSE(runner.Running()) << "the query must end within the stop wait";
  size_t n = sink.Snapshot().size();
  EXPECT_EQ(n, 3u) << "only the clearing texts";
}

}  // namespace
