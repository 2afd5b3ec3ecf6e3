// DeviceHttpClient against a local server that records the request bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/devices/device_record.h"
#include "engine/ops/device_http_client.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"
#include "tests/http/local_http_server.h"

namespace {

const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";

HttpClientTimings Short(uint32_t deadline_ms) {
  HttpClientTimings t;
  t.deadline_ms = deadline_ms;
  return t;
}

struct Result {
  int32_t rc;
  std::string value;
  bool found;
};

Result Ask(uint16_t port, const char* conf, const char* item, const HttpClientTimings& t = {},
           const char* before = "") {
  DeviceHttpClient c(t);
  char value[kHttpValueSize];
  std::snprintf(value, sizeof value, "%s", before);
  int32_t rc = c.Request("127.0.0.1", port, "root", "tulp", conf, item, value);
  EXPECT_EQ(c.socket(), -1) << "Request must close its connection";
  return {rc, value, c.LastValueFound()};
}

TEST(DeviceHttpClientTest, RequestFormsAreByteExact) {
  LocalHttpServer srv([](const std::string&) { return OneChunk(std::string(kOk) + "x\r\n"); });
  ASSERT_TRUE(srv.ok());
  Ask(srv.port(), "general", "software_version");
  Ask(srv.port(), nullptr, "serial");
  // Credentials go in exactly as entered.
  DeviceHttpClient c;
  char v[kHttpValueSize] = "";
  c.Request("127.0.0.1", srv.port(), "a b&c", "p%20=#", "cf", "it", v);
  auto reqs = srv.Requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[0],
            "GET /GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version HTTP/1.1\r\n"
            "Host: 0.0.0.0\r\n\r\n");
  EXPECT_EQ(reqs[1], "GET /SysCommand.asp?USER=root&PWD=tulp&TYPE=serial HTTP/1.1\r\nHost: 0.0.0.0\r\n\r\n");
  EXPECT_EQ(reqs[2], "GET /GetValue.asp?USER=a b&c&PWD=p%20=#&CONF=cf&ITEM=it HTTP/1.1\r\nHost: 0.0.0.0\r\n\r\n");
}

TEST(DeviceHttpClientTest, RequestTextLimit) {
  std::string out;
  // The fixed parts of the value query are 67 bytes; 1023 characters fit.
  std::string base;
  ASSERT_EQ(FormatHttpRequest("", "", "", "x", &base), 0);
  std::string item_fits(1023 - base.size() + 1, 'i');
  ASSERT_EQ(FormatHttpRequest("", "", "", item_fits.c_str(), &out), 0);
  EXPECT_EQ(out.size(), 1023u);
  std::string item_long = item_fits + "i";
  EXPECT_EQ(FormatHttpRequest("", "", "", item_long.c_str(), &out), -1);
  EXPECT_EQ(FormatHttpRequest("u", "p", "c", nullptr, &out), -1);

  // A request that does not fit is never sent, not even truncated.
  LocalHttpServer srv([](const std::string&) { return OneChunk(std::string(kOk) + "x\r\n"); });
  ASSERT_TRUE(srv.ok());
  Result r = Ask(srv.port(), "general", item_long.c_str(), {}, "old");
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.value, "old");
  Result none = Ask(srv.port(), "general", nullptr, {}, "old");
  EXPECT_EQ(none.rc, -1);
  // A request that fits is the later marker: it is the only one to arrive.
  EXPECT_GT(Ask(srv.port(), "general", "x", {}, "").rc, 0);
  EXPECT_EQ(srv.Accepted(), 1);
  EXPECT_EQ(srv.Requests().size(), 1u);
}

TEST(DeviceHttpClientTest, OneChunkReplies) {
  struct Case {
    const char* body;
    const char* want;
  } cases[] = {
      {"5.2.1\r\n", "5.2.1"},
      {"a\r\nvalue\r\n", "value"},          // third byte LF: the one-character line is skipped
      {"5\r\n5.2.1\r\n0\r\n\r\n", "5.2.1"},  // a chunked body meets the same rule
      {"ab\r\nvalue\r\n", "ab"},
      {"5.2.1\nnext\n", "5.2.1"},
      {"\r\n", ""},
  };
  for (const Case& c : cases) {
    std::string reply = std::string(kOk) + c.body;
    LocalHttpServer srv([&](const std::string&) { return OneChunk(reply); });
    ASSERT_TRUE(srv.ok());
    Result r = Ask(srv.port(), "general", "software_version", {}, "old");
    EXPECT_GT(r.rc, 0) << c.body;
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.value, c.want) << c.body;
  }
}

TEST(DeviceHttpClientTest, SplitRepliesYieldTheirValue) {
  const std::string head = kOk;
  std::vector<ReplyScript> scripts;
  // Headers and blank line first, the body in a later segment.
  scripts.push_back({{{0, head}, {60, "5.2.1\r\n"}}, 0});
  // The blank line itself split, and the status line alone.
  scripts.push_back({{{0, "HTTP/1.1 200 OK\r\n"}, {30, "Server: x\r\n\r"}, {30, "\n5.2.1\r\n"}}, 0});
  // The body line split before its end, connection kept open afterwards.
  scripts.push_back({{{0, head + "5.2"}, {40, ".1\r\n"}}, 500});
  // The skip rule across segments: "a" CR, then LF and the line.
  scripts.push_back({{{0, head + "a\r"}, {40, "\n5.2.1\r\n"}}, 500});
  ReplyScript bytewise;
  for (char ch : head + "5.2.1\r\n") bytewise.chunks.push_back({2, std::string(1, ch)});
  scripts.push_back(bytewise);
  for (size_t i = 0; i < scripts.size(); ++i) {
    LocalHttpServer srv([&](const std::string&) { return scripts[i]; });
    ASSERT_TRUE(srv.ok());
    Result r = Ask(srv.port(), "general", "software_version", Short(2000), "old");
    EXPECT_GT(r.rc, 0) << "script " << i;
    EXPECT_EQ(r.value, "5.2.1") << "script " << i;
  }
}

TEST(DeviceHttpClientTest, BodyEndsWithoutLineEnd) {
  // Declared length reached, connection kept open: done without the deadline.
  LocalHttpServer srv([](const std::string&) {
    ReplyScript s = OneChunk("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n5.2.1");
    s.hold_ms = 3000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  dk::TickTimer t;
  t.Start();
  Result r = Ask(srv.port(), "general", "software_version", Short(2500), "old");
  EXPECT_GT(r.rc, 0);
  EXPECT_EQ(r.value, "5.2.1");
  EXPECT_LT(t.Elapsed(), 2000u) << "a complete body must not wait for the deadline";

  // The peer closes after a body without line end.
  LocalHttpServer closing([](const std::string&) { return OneChunk(std::string(kOk) + "SN-77"); });
  ASSERT_TRUE(closing.ok());
  Result c = Ask(closing.port(), nullptr, "serial", Short(2500), "old");
  EXPECT_GT(c.rc, 0);
  EXPECT_EQ(c.value, "SN-77");

  // Headers in, body line never ends before the deadline: what came is kept.
  LocalHttpServer open([](const std::string&) {
    ReplyScript s = OneChunk(std::string(kOk) + "5.2.1");
    s.hold_ms = 2000;
    return s;
  });
  ASSERT_TRUE(open.ok());
  Result o = Ask(open.port(), "general", "software_version", Short(300), "old");
  EXPECT_GT(o.rc, 0);
  EXPECT_EQ(o.value, "5.2.1");
}

TEST(DeviceHttpClientTest, LongFirstLineIsCutToTheValueBuffer) {
  std::string line(600, 'v');
  LocalHttpServer srv([&](const std::string&) { return OneChunk(std::string(kOk) + line + "\r\n"); });
  ASSERT_TRUE(srv.ok());
  Result r = Ask(srv.port(), "general", "software_version");
  EXPECT_EQ(r.value, std::string(kHttpValueSize - 1, 'v'));
}

TEST(DeviceHttpClientTest, SilentServerReturnsZeroAtTheDeadline) {
  LocalHttpServer srv([](const std::string&) {
    ReplyScript s;
    s.hold_ms = 3000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  dk::TickTimer t;
  t.Start();
  Result r = Ask(srv.port(), "general", "software_version", Short(250), "untouched");
  uint32_t took = t.Elapsed();
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.value, "untouched");
  EXPECT_FALSE(r.found);
  EXPECT_GE(took, 250u);
  EXPECT_LT(took, 2500u) << "the deadline must end the wait";
  EXPECT_EQ(srv.Requests().size(), 1u);
}

TEST(DeviceHttpClientTest, HeadersThatNeverEnd) {
  // Status line and headers but never the blank line: nothing is taken.
  LocalHttpServer srv([](const std::string&) {
    ReplyScript s = OneChunk("HTTP/1.1 200 OK\r\nServer: x\r\n");
    s.hold_ms = 2000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  Result r = Ask(srv.port(), "general", "software_version", Short(250), "untouched");
  EXPECT_GE(r.rc, 0);  // not a failure: the last chunk's size or 0
  EXPECT_EQ(r.value, "untouched");
  EXPECT_FALSE(r.found);

  // The peer closes without a reply: 0 at once, value untouched.
  LocalHttpServer closer([](const std::string&) { return ReplyScript{}; });
  ASSERT_TRUE(closer.ok());
  dk::TickTimer t;
  t.Start();
  Result c = Ask(closer.port(), "general", "software_version", Short(2500), "untouched");
  EXPECT_EQ(c.rc, 0);
  EXPECT_EQ(c.value, "untouched");
  EXPECT_LT(t.Elapsed(), 2000u) << "a closed connection cannot bring more";
}

TEST(DeviceHttpClientTest, ConnectFailures) {
  // No listener on the port.
  int l = dk::TcpListen(IpFromOctets(127, 0, 0, 1), 0, 1);
  ASSERT_GE(l, 0);
  uint16_t port = dk::TcpLocalPort(l);
  dk::TcpClose(l);
  Result r = Ask(port, "general", "software_version", {}, "old");
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.value, "old");

  DeviceHttpClient c;
  EXPECT_EQ(c.Connect("not an address", 80), -1);
  EXPECT_EQ(c.Connect("300.1.1.1", 80), -1);
  EXPECT_EQ(c.socket(), -1);
  EXPECT_EQ(c.Close(), 0);
}

TEST(DeviceHttpClientTest, ConnectIsBoundedByTheDeadline) {
  // A listener that never accepts and whose queue is full drops further SYNs,
  // as an address that swallows them would.
  int l = dk::TcpListen(IpFromOctets(127, 0, 0, 1), 0, 0);
  ASSERT_GE(l, 0);
  uint16_t port = dk::TcpLocalPort(l);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    int s = dk::TcpOpen();
    dk::TcpConnect(s, IpFromOctets(127, 0, 0, 1), port, 100);
    fillers.push_back(s);
  }
  DeviceHttpClient c(Short(300));
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(c.Connect("127.0.0.1", port), -1);
  EXPECT_LT(t.Elapsed(), 2500u);
  EXPECT_GE(t.Elapsed(), 250u) << "the connect should have been left waiting";
  for (int s : fillers) dk::TcpClose(s);
  dk::TcpClose(l);
}

TEST(DeviceHttpClientTest, StopFlagEndsTheWait) {
  LocalHttpServer srv([](const std::string&) {
    ReplyScript s;
    s.hold_ms = 3000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  dk::StopFlag stop;
  stop.Set();
  DeviceHttpClient c;
  c.SetStopFlag(&stop);
  char v[kHttpValueSize] = "keep";
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(c.Request("127.0.0.1", srv.port(), "root", "tulp", "general", "software_version", v), 0);
  EXPECT_LT(t.Elapsed(), 1000u);
  EXPECT_STREQ(v, "keep");
}

TEST(DeviceHttpClientTest, OneClientServesSeveralRequests) {
  LocalHttpServer srv([](const std::string& req) {
    return OneChunk(std::string(kOk) + (req.find("serial") != std::string::npos ? "SN1\r\n" : "1.0\r\n"));
  });
  ASSERT_TRUE(srv.ok());
  DeviceHttpClient c;
  char a[kHttpValueSize] = "", b[kHttpValueSize] = "";
  EXPECT_GT(c.Request("127.0.0.1", srv.port(), "root", "tulp", "general", "software_version", a), 0);
  EXPECT_GT(c.Request("127.0.0.1", srv.port(), "root", "tulp", nullptr, "serial", b), 0);
  EXPECT_STREQ(a, "1.0");
  EXPECT_STREQ(b, "SN1");
  // Without a value buffer the headers are enough.
  EXPECT_GT(c.Request("127.0.0.1", srv.port(), "root", "tulp", nullptr, "serial", nullptr), 0);
}

}  // namespace
