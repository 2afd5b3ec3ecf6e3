// The libcurl requests against a local server that records what it gets.
#include <gtest/gtest.h>

#include <string>

#include "engine/ops/http_requests.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"
#include "tests/http/local_http_server.h"
#include "tests/support/recording_sink.h"

namespace {

const char kJson[] =
    "{\"jsonData\": {\"username\":\"root\", \"password\":\"tulp\", \"file\":\"param\", "
    "\"data\":\"All.General.SystemMode.VALUE\"}}";

std::string Reply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

class HttpRequestsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(HttpGlobalInit(), 0); }
};

std::vector<std::string> Texts(RecordingSink& sink, int32_t id) {
  std::vector<std::string> out;
  for (const auto& m : sink.Snapshot())
    if (m.id == id) out.push_back(std::get<std::string>(m.payload));
  return out;
}

TEST_F(HttpRequestsTest, SystemModeRequestIsExact) {
  EXPECT_EQ(SystemModeJsonBody(), kJson);
  // Other credentials stay one JSON string each, whatever they hold.
  EXPECT_EQ(SystemModeJsonBody("root", "tulp"), kJson);
  EXPECT_EQ(SystemModeJsonBody("ad\"min", "p\\w\x01" "d"),
            "{\"jsonData\": {\"username\":\"ad\\\"min\", \"password\":\"p\\\\w\\u0001d\", \"file\":\"param\", "
            "\"data\":\"All.General.SystemMode.VALUE\"}}");
  EXPECT_EQ(SystemModeUrl("10.0.0.7", 8080), "http://10.0.0.7:8080/cgi-bin/GetJsonValue.cgi?TYPE=json");

  LocalHttpServer srv([](const std::string&) { return OneChunk(Reply("\"decoder\"\r\n")); });
  ASSERT_TRUE(srv.ok());
  RecordingSink sink;
  EXPECT_EQ(QuerySystemMode("127.0.0.1", srv.port(), &sink), 0);
  auto reqs = srv.Requests();
  ASSERT_EQ(reqs.size(), 1u);
  const std::string& r = reqs[0];
  EXPECT_EQ(r.rfind("POST /cgi-bin/GetJsonValue.cgi?TYPE=json HTTP/1.1\r\n", 0), 0u) << r;
  EXPECT_NE(r.find("\r\nAccept: application/json\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nContent-Type: application/json; charset=utf-8\r\n"), std::string::npos) << r;
  EXPECT_LT(r.find("Accept: application/json"), r.find("Content-Type: application/json"));
  EXPECT_NE(r.find("\r\nContent-Length: " + std::to_string(std::strlen(kJson)) + "\r\n"), std::string::npos);
  EXPECT_EQ(RequestBody(r), kJson);
  EXPECT_EQ(Texts(sink, UM_SYSTEM_MODE_TEXT), std::vector<std::string>{"decoder"});
}

TEST_F(HttpRequestsTest, SystemModeExtraction) {
  struct Case {
    std::string reply;
    const char* want;
  } cases[] = {
      {"\"decoder\"\r\n", "decoder"},
      {"\"encoder\"\r\n", "encoder"},
      {"\"bridge\"\r\n", "-"},
      {"\"ab\"", "-"},        // 4 bytes: too short
      {"", "-"},
      {"\"encoderX\"\r\n", "encoderX"},  // seven characters decide
      {"xencodeyyy", "-"},
      {std::string("\"enc\0der\"\r\n", 11), "-"},  // the text ends at a zero byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemModeFromReply(c.reply.data(), c.reply.size()), c.want) << c.reply;
    LocalHttpServer srv([&](const std::string&) { return OneChunk(Reply(c.reply)); });
    ASSERT_TRUE(srv.ok());
    RecordingSink sink;
    EXPECT_EQ(QuerySystemMode("127.0.0.1", srv.port(), &sink), 0);
    EXPECT_EQ(Texts(sink, UM_SYSTEM_MODE_TEXT), std::vector<std::string>{c.want}) << c.reply;
  }
  std::string big = "\"encoder" + std::string(1000, 'e') + "\"\r\n";
  EXPECT_EQ(SystemModeFromReply(big.data(), big.size()).size(), 255u);
}

TEST_F(HttpRequestsTest, SystemModeFailuresPostNothing) {
  int l = dk::TcpListen(IpFromOctets(127, 0, 0, 1), 0, 1);
  uint16_t closed_port = dk::TcpLocalPort(l);
  dk::TcpClose(l);
  RecordingSink sink;
  EXPECT_EQ(QuerySystemMode("127.0.0.1", closed_port, &sink), -2);

  // A device that accepts and never answers is cut off by the time bound.
  LocalHttpServer silent([](const std::string&) {
    ReplyScript s;
    s.hold_ms = 5000;
    return s;
  });
  ASSERT_TRUE(silent.ok());
  CurlTimings t;
  t.total_timeout_ms = 300;
  dk::TickTimer tm;
  tm.Start();
  EXPECT_EQ(QuerySystemMode("127.0.0.1", silent.port(), &sink, t), -2);
  EXPECT_LT(tm.Elapsed(), 4000u);

  // So is one whose stop flag is set while it waits.
  dk::StopFlag stop;
  stop.Set();
  EXPECT_EQ(QuerySystemMode("127.0.0.1", silent.port(), &sink, CurlTimings{}, &stop), -2);
  EXPECT_EQ(sink.CountOf(UM_SYSTEM_MODE_TEXT), 0u);
}

TEST_F(HttpRequestsTest, FactoryDefaultUrlAndRequest) {
  FactoryDefaultParam p = MakeFactoryDefaultParam("192.168.1.20", "admin", "pw&x", 0);
  EXPECT_EQ(FactoryDefaultUrl(p), "http://192.168.1.20:80/SysCommand.asp?USER=admin&PWD=pw&x&TYPE=factoryDefault");
  p.port = 8080;
  EXPECT_EQ(FactoryDefaultUrl(p), "http://192.168.1.20:8080/SysCommand.asp?USER=admin&PWD=pw&x&TYPE=factoryDefault");
  p.port = 65000;  // ports above 32767 stay positive
  EXPECT_NE(FactoryDefaultUrl(p).find(":65000/"), std::string::npos);
  std::string long_user(100, 'u');
  FactoryDefaultParam cut = MakeFactoryDefaultParam("1.2.3.4", long_user.c_str(), "p", 80);
  EXPECT_EQ(std::string(cut.user), std::string(63, 'u'));

  LocalHttpServer srv([](const std::string&) { return OneChunk(Reply("OK")); });
  ASSERT_TRUE(srv.ok());
  FactoryDefaultParam q = MakeFactoryDefaultParam("127.0.0.1", "admin", "secret", srv.port());
  EXPECT_EQ(FactoryDefaultRequestProc(q), 0);
  auto reqs = srv.Requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].rfind("GET /SysCommand.asp?USER=admin&PWD=secret&TYPE=factoryDefault HTTP/1.1\r\n", 0), 0u)
      << reqs[0];

  int l = dk::TcpListen(IpFromOctets(127, 0, 0, 1), 0, 1);
  uint16_t closed_port = dk::TcpLocalPort(l);
  dk::TcpClose(l);
  EXPECT_EQ(FactoryDefaultRequestProc(MakeFactoryDefaultParam("127.0.0.1", "a", "b", closed_port)), -2);
}

TEST_F(HttpRequestsTest, WriteReplyAppendsAndTerminates) {
  ReplyBuffer b;
  EXPECT_EQ(b.size(), 0u);
  EXPECT_EQ(b.c_str()[0], '\0');
  char part1[] = "abc";
  char part2[] = "de";
  EXPECT_EQ(WriteReply(part1, 1, 3, &b), 3u);
  EXPECT_EQ(WriteReply(part2, 2, 1, &b), 2u);
  EXPECT_EQ(b.size(), 5u);
  EXPECT_STREQ(b.c_str(), "abcde");
  EXPECT_EQ(WriteReply(part1, 0, 3, &b), 0u);
  // A size that would overflow is refused, which fails the transfer.
  EXPECT_EQ(WriteReply(part1, SIZE_MAX / 2, 3, &b), 0u);
  EXPECT_EQ(b.size(), 5u);
}

}  // namespace
