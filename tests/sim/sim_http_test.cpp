// The device web server's parsers and one connection's protocol, without sockets.
#include "sim/sim_http.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/devices/device_record.h"
#include "sim/sim_core.h"
#include "tests/sim/fake_sim_io.h"
#include "tests/support/temp_dir.h"

using namespace dksim;

namespace {

std::string Multipart(const std::string& boundary, const std::string& field, const std::string& filename,
                      const std::string& content) {
  std::string b = "--" + boundary + "\r\n";
  b += "Content-Disposition: form-data; name=\"other\"\r\n\r\nvalue\r\n";
  b += "--" + boundary + "\r\n";
  b += "Content-Disposition: form-data; name=\"" + field + "\"; filename=\"" + filename + "\"\r\n";
  b += "Content-Type: application/octet-stream\r\n\r\n";
  b += content;
  b += "\r\n--" + boundary + "--\r\n";
  return b;
}

// The image with bytes that look like a delimiter but are not one.
std::string Image(const std::string& version, size_t payload) {
  std::string s = version.empty() ? "" : "DRAVENKIT-FW " + version + "\n";
  for (size_t i = 0; i < payload; ++i) s.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
  s += "\r\n--XyY near miss\r\n--Xy\r\n------\r\n-";
  return s;
}

class Collect : public MultipartParser::Sink {
 public:
  void OnPartBegin(const std::string& name, const std::string& filename) override {
    parts += "[" + name + "|" + filename + "]";
  }
  void OnPartData(const uint8_t* d, size_t n) override { parts.append(reinterpret_cast<const char*>(d), n); }
  void OnPartEnd() override { parts += "[end]"; }
  std::string parts;
};

class HttpSessionTest : public ::testing::Test {
 protected:
  void Make(std::vector<SimDeviceConfig> fleet) {
    log_.Capture(true);
    sim_ = std::make_unique<Simulator>(std::move(fleet), opt_, &io_, &log_);
    sim_->Start();
  }
  std::unique_ptr<HttpSession> Open(int dev) {
    ConnInfo c;
    c.local_ip = sim_->device(dev).cfg.ip;
    c.local_port = sim_->device(dev).cfg.web_port;
    c.peer_ip = IpFromOctets(10, 77, 0, 1);
    c.id = ++conn_;
    EXPECT_EQ(sim_->DeviceAt(c.local_ip, c.local_port), dev);
    return std::make_unique<HttpSession>(sim_.get(), dev, c);
  }
  // Feeds text in pieces of `step` bytes.
  static void Feed(HttpSession& s, const std::string& text, size_t step = 1 << 20) {
    for (size_t i = 0; i < text.size(); i += step) {
      const size_t n = std::min(step, text.size() - i);
      s.OnBytes(reinterpret_cast<const uint8_t*>(text.data() + i), n);
    }
  }
  static std::string Output(HttpSession& s) {
    std::string all;
    for (const auto& o : s.out()) all += o.bytes;
    return all;
  }
  static std::string Body(const std::string& reply) {
    const size_t p = reply.find("\r\n\r\n");
    return p == std::string::npos ? "" : reply.substr(p + 4);
  }
  std::string Get(int dev, const std::string& target) {
    auto s = Open(dev);
    Feed(*s, "GET " + target + " HTTP/1.1\r\nHost: 0.0.0.0\r\n\r\n");
    EXPECT_EQ(s->after(), HttpSession::After::kClose);
    return Output(*s);
  }
  std::string Upload(int dev, const std::string& path, const std::string& field, const std::string& image,
                     size_t step, const char* version = "HTTP/1.0", bool expect = false) {
    const std::string boundary = "------------------------a1b2c3d4e5f6";
    const std::string body = Multipart(boundary, field, "/home/op/fw/image.bin", image);
    std::string req = "POST " + path + " " + version + "\r\nHost: x\r\nAccept: */*\r\n";
    req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    req += "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    if (expect) req += "Expect: 100-continue\r\n";
    req += "\r\n";
    auto s = Open(dev);
    Feed(*s, req + body, step);
    last_after_ = s->after();
    return Output(*s);
  }

  SimOptions opt_;
  FakeSimIo io_;
  EventLog log_;
  std::unique_ptr<Simulator> sim_;
  uint64_t conn_ = 0;
  HttpSession::After last_after_ = HttpSession::After::kNone;
};

}  // namespace

TEST(SimHttp, HeadParsing) {
  const std::string head =
      "POST /cgi-bin/upload.cgi?x=1 HTTP/1.0\r\nHost: a\r\ncontent-length:  42 \r\n"
      "Content-Type: multipart/form-data; boundary=\"abc def\"\r\nExpect: 100-continue\r\n\r\nBODY";
  const size_t end = FindHeadEnd(head.data(), head.size());
  ASSERT_EQ(head.substr(end), "BODY");
  HttpHead h;
  ASSERT_EQ(ParseHttpHead(head.data(), end, &h), 0);
  EXPECT_EQ(h.method, "POST");
  EXPECT_EQ(h.path, "/cgi-bin/upload.cgi");
  EXPECT_EQ(h.query, "x=1");
  EXPECT_EQ(h.version, "HTTP/1.0");
  EXPECT_EQ(h.content_length, 42);
  EXPECT_TRUE(h.expect_continue);
  EXPECT_EQ(MultipartBoundary(h.content_type), "abc def");

  const std::string lf = "GET /a HTTP/1.1\nX: y\n\n";
  EXPECT_EQ(FindHeadEnd(lf.data(), lf.size()), lf.size());
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\n", 16), 0u);

  const char* bad[] = {
      "GET /a\r\n\r\n",
      "GET /a HTTP/2.0\r\n\r\n",
      "GET a HTTP/1.1\r\n\r\n",
      "GET  /a HTTP/1.1\r\n\r\n",
      "GET /a HTTP/1.1\r\nNoColon\r\n\r\n",
      "GET /a HTTP/1.1\r\nContent-Length: 1x\r\n\r\n",
      "GET /a HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
      "GET /a\x01 HTTP/1.1\r\n\r\n",
  };
  for (const char* b : bad) {
    HttpHead x;
    EXPECT_EQ(ParseHttpHead(b, std::strlen(b), &x), kHeadBadRequest) << b;
  }
  HttpHead te;
  const char* gz = "POST /a HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n";
  EXPECT_EQ(ParseHttpHead(gz, std::strlen(gz), &te), kHeadUnsupportedTe);
  HttpHead abs;
  const char* absolute = "GET http://10.77.1.1:80/GetValue.asp?A=1 HTTP/1.1\r\n\r\n";
  ASSERT_EQ(ParseHttpHead(absolute, std::strlen(absolute), &abs), 0);
  EXPECT_EQ(abs.path, "/GetValue.asp");
}

TEST(SimHttp, QueryAndJsonValues) {
  std::string v;
  EXPECT_TRUE(QueryValue("USER=root&PWD=a=b&TYPE=serial", "PWD", &v));
  EXPECT_EQ(v, "a=b");
  EXPECT_TRUE(QueryValue("USER=&PWD=x", "USER", &v));
  EXPECT_EQ(v, "");
  EXPECT_FALSE(QueryValue("USERX=1", "USER", &v));
  const std::string json =
      "{\"jsonData\": {\"username\":\"root\", \"password\":\"tu\\\"lp\", \"file\":\"param\", "
      "\"data\":\"All.General.SystemMode.VALUE\"}}";
  EXPECT_TRUE(JsonStringMember(json, "password", &v));
  EXPECT_EQ(v, "tu\"lp");
  EXPECT_TRUE(JsonStringMember(json, "data", &v));
  EXPECT_EQ(v, "All.General.SystemMode.VALUE");
  EXPECT_FALSE(JsonStringMember(json, "jsonData", &v));
  EXPECT_FALSE(JsonStringMember("{\"data\":\"open", "data", &v));
}

TEST(SimHttp, ChunkedBodyDecodesAcrossAnySplit) {
  const std::string enc = "5\r\nhello\r\n1;ext=1\r\n \r\n10\r\n0123456789abcdef\r\n0\r\nTrailer: x\r\n\r\nNEXT";
  for (size_t step = 1; step <= enc.size(); ++step) {
    ChunkedDecoder d;
    std::string out;
    size_t used_total = 0;
    for (size_t i = 0; i < enc.size() && !d.done(); i += step) {
      const size_t n = std::min(step, enc.size() - i);
      const long used = d.Feed(reinterpret_cast<const uint8_t*>(enc.data() + i), n, &out);
      ASSERT_GE(used, 0) << step;
      used_total += static_cast<size_t>(used);
    }
    ASSERT_TRUE(d.done()) << step;
    EXPECT_EQ(out, "hello 0123456789abcdef") << step;
    EXPECT_EQ(enc.substr(used_total), "NEXT") << step;
  }
  ChunkedDecoder bad;
  std::string out;
  EXPECT_EQ(bad.Feed(reinterpret_cast<const uint8_t*>("zz\r\n"), 4, &out), -1);
  ChunkedDecoder missing_crlf;
  EXPECT_EQ(missing_crlf.Feed(reinterpret_cast<const uint8_t*>("1\r\naXY"), 6, &out), -1);
}

TEST(SimHttp, MultipartStreamsTheSamePartsWhateverTheReadSize) {
  const std::string boundary = "XyZ";
  const std::string body = Multipart(boundary, "FirmwareFile", "C:\\fw\\a.bin", Image("9.9", 3000));
  Collect whole;
  MultipartParser p1(boundary, &whole);
  ASSERT_EQ(p1.Feed(reinterpret_cast<const uint8_t*>(body.data()), body.size()), 0);
  ASSERT_TRUE(p1.done());
  EXPECT_EQ(whole.parts, "[other|]value[end][FirmwareFile|C:\\fw\\a.bin]" + Image("9.9", 3000) + "[end]");
  for (size_t step : {1u, 2u, 3u, 5u, 7u, 64u, 1000u}) {
    Collect c;
    MultipartParser p(boundary, &c);
    for (size_t i = 0; i < body.size(); i += step) {
      ASSERT_EQ(p.Feed(reinterpret_cast<const uint8_t*>(body.data() + i), std::min(step, body.size() - i)), 0);
      EXPECT_LE(p.buffered(), step + kMaxPartHeadBytes);
    }
    EXPECT_TRUE(p.done()) << step;
    EXPECT_EQ(c.parts, whole.parts) << step;
  }
  // Cut short: never done.
  Collect c;
  MultipartParser cut(boundary, &c);
  cut.Feed(reinterpret_cast<const uint8_t*>(body.data()), body.size() / 2);
  EXPECT_FALSE(cut.done());
  // Garbage after a delimiter.
  Collect g;
  MultipartParser bad(boundary, &g);
  const std::string junk = "--XyZ!!\r\n";
  EXPECT_EQ(bad.Feed(reinterpret_cast<const uint8_t*>(junk.data()), junk.size()), -1);
  // Endless part headers are refused.
  Collect h;
  MultipartParser heads(boundary, &h);
  std::string longhead = "--XyZ\r\n" + std::string(kMaxPartHeadBytes + 10, 'h');
  EXPECT_EQ(heads.Feed(reinterpret_cast<const uint8_t*>(longhead.data()), longhead.size()), -1);
}

TEST(SimHttp, FirmwareHeader) {
  auto sniff = [](const std::string& s, size_t step) {
    FirmwareSniffer f;
    for (size_t i = 0; i < s.size(); i += step)
      f.Feed(reinterpret_cast<const uint8_t*>(s.data() + i), std::min(step, s.size() - i));
    return f;
  };
  for (size_t step : {1u, 4u, 100u}) {
    FirmwareSniffer a = sniff("DRAVENKIT-FW 5.2.1\npayload", step);
    EXPECT_TRUE(a.has_header());
    EXPECT_EQ(a.version(), "5.2.1");
    EXPECT_EQ(a.bytes(), 26u);
  }
  EXPECT_EQ(sniff("DRAVENKIT-FW 5.2.1\r\nx", 3).version(), "5.2.1");
  EXPECT_FALSE(sniff("ELF\x7f binary\n", 3).has_header());
  EXPECT_FALSE(sniff("DRAVENKIT-FW \n", 3).has_header());
  EXPECT_FALSE(sniff("DRAVENKIT-FW two words\n", 3).has_header());
  EXPECT_FALSE(sniff("DRAVENKIT-FW " + std::string(200, '1') + "\n", 7).has_header());
  EXPECT_FALSE(sniff("no line end at all", 3).has_header());
}

TEST_F(HttpSessionTest, QueriesAnswerWithTheDevicesValues) {
  auto fleet = GenerateFleet(3, FleetDefaults());
  fleet[1].firmware = "5.2.1";
  fleet[1].serial = "SN-0042";
  Make(fleet);
  const std::string v = Get(1, "/GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version");
  EXPECT_EQ(v.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(Body(v), "5.2.1\r\n");
  EXPECT_EQ(Body(Get(1, "/SysCommand.asp?USER=root&PWD=tulp&TYPE=serial")), "SN-0042\r\n");
  EXPECT_NE(Get(1, "/GetValue.asp?USER=root&PWD=bad&CONF=general&ITEM=software_version").find(" 401 "),
            std::string::npos);
  EXPECT_NE(Get(1, "/GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=colour").find(" 404 "), std::string::npos);
  EXPECT_NE(Get(1, "/index.html").find(" 404 "), std::string::npos);
  EXPECT_NE(Get(1, "/cgi-bin/upload.cgi").find(" 405 "), std::string::npos);
  EXPECT_NE(log_.captured().find("\"line\":\"GET /SysCommand.asp?USER=root&PWD=tulp&TYPE=serial HTTP/1.1\""),
            std::string::npos);
}

TEST_F(HttpSessionTest, SystemModeJsonArrivesInPieces) {
  auto fleet = GenerateFleet(3, FleetDefaults());
  Make(fleet);
  const std::string body =
      "{\"jsonData\": {\"username\":\"root\", \"password\":\"tulp\", \"file\":\"param\", "
      "\"data\":\"All.General.SystemMode.VALUE\"}}";
  const std::string req = "POST /cgi-bin/GetJsonValue.cgi?TYPE=json HTTP/1.1\r\nHost: 10.77.1.3\r\n"
                          "Accept: application/json\r\nContent-Type: application/json; charset=utf-8\r\n"
                          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  for (size_t step : {1u, 13u, 4096u}) {
    auto s = Open(2);  // index 2 is a decoder
    Feed(*s, req, step);
    EXPECT_EQ(Body(Output(*s)), "\"decoder\"\r\n") << step;
  }
  auto enc = Open(0);
  Feed(*enc, req);
  EXPECT_EQ(Body(Output(*enc)), "\"encoder\"\r\n");
  // HTTP/1.0 body that runs to the end of the connection.
  auto tail = Open(0);
  Feed(*tail, "POST /cgi-bin/GetJsonValue.cgi?TYPE=json HTTP/1.0\r\n\r\n" + body);
  EXPECT_TRUE(tail->out().empty());
  tail->OnPeerClosed();
  EXPECT_EQ(Body(Output(*tail)), "\"encoder\"\r\n");
}

TEST_F(HttpSessionTest, FactoryDefaultBringsTheDeviceBackAtTheFactoryAddress) {
  opt_.timings.reset_delay_ms = 2000;
  opt_.timings.grace_ms = 300;
  auto fleet = GenerateFleet(2, FleetDefaults());
  fleet[0].web_port = 8080;
  Make(fleet);
  EXPECT_NE(Get(0, "/SysCommand.asp?USER=root&PWD=nope&TYPE=factoryDefault").find(" 401 "), std::string::npos);
  io_.Advance(*sim_, 2500);
  EXPECT_TRUE(io_.Has(fleet[0].ip));
  EXPECT_EQ(Body(Get(0, "/SysCommand.asp?USER=root&PWD=tulp&TYPE=factoryDefault")), "OK\r\n");
  EXPECT_TRUE(sim_->RefusesConnection(0));  // restarting
  io_.Advance(*sim_, 299);
  EXPECT_TRUE(io_.Has(fleet[0].ip));  // the answer still leaves from here
  io_.Advance(*sim_, 2);
  EXPECT_FALSE(io_.Has(fleet[0].ip));
  io_.Advance(*sim_, 1700);
  const SimDevice& d = sim_->device(0);
  EXPECT_EQ(d.state, DevState::kUp);
  EXPECT_TRUE(io_.Has(FactoryIp()));
  EXPECT_EQ(d.cfg.ip, FactoryIp());
  EXPECT_EQ(d.cfg.mask, IpFromOctets(255, 255, 255, 0));
  EXPECT_EQ(d.cfg.web_port, 80);
  EXPECT_EQ(d.cfg.network_type, 1);
  EXPECT_EQ(sim_->DeviceAt(FactoryIp(), 80), 0);
  EXPECT_NE(log_.captured().find("\"ev\":\"reset\""), std::string::npos);
}

// "reset-ignore" answers and stays; "reset-keep-ip" resets but keeps its address.
TEST_F(HttpSessionTest, ResetFaultsKeepTheDeviceWhereItWas) {
  opt_.timings.reset_delay_ms = 2000;
  opt_.timings.grace_ms = 300;
  auto fleet = GenerateFleet(2, FleetDefaults());
  fleet[0].faults = kFaultResetIgnore;
  fleet[1].faults = kFaultResetKeepIp;
  fleet[1].user = "admin";
  Make(fleet);
  for (int dev : {0, 1}) {
    const std::string user = dev == 0 ? "root" : "admin";
    EXPECT_EQ(Body(Get(dev, "/SysCommand.asp?USER=" + user + "&PWD=tulp&TYPE=factoryDefault")), "OK\r\n") << dev;
  }
  EXPECT_FALSE(sim_->RefusesConnection(0));
  EXPECT_TRUE(sim_->RefusesConnection(1));
  io_.Advance(*sim_, 2100);
  for (int dev : {0, 1}) {
    const SimDevice& d = sim_->device(dev);
    EXPECT_EQ(d.state, DevState::kUp) << dev;
    EXPECT_EQ(d.cfg.ip, fleet[size_t(dev)].ip) << dev;
    EXPECT_TRUE(io_.Has(fleet[size_t(dev)].ip)) << dev;
  }
  EXPECT_FALSE(io_.Has(FactoryIp()));
  EXPECT_EQ(sim_->device(1).cfg.user, "admin");  // its fleet administrator, as after any reset
  EXPECT_NE(log_.captured().find("\"ev\":\"factory_reset_ignored\""), std::string::npos);
}

TEST_F(HttpSessionTest, UploadRestartsWithTheImagesVersion) {
  opt_.timings.restart_ms = 1000;
  auto fleet = GenerateFleet(2, FleetDefaults());
  Make(fleet);
  for (size_t step : {1u, 7u, 1500u, 1u << 20}) {
    const std::string v = "3.1." + std::to_string(step);
    const std::string reply = Upload(0, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", Image(v, 20000), step);
    EXPECT_EQ(reply.substr(0, 15), "HTTP/1.0 200 OK") << step;
    EXPECT_EQ(sim_->device(0).state, DevState::kSilent);
    io_.Advance(*sim_, 1001);
    EXPECT_EQ(sim_->device(0).state, DevState::kUp);
    EXPECT_EQ(sim_->device(0).cfg.firmware, v);
    EXPECT_TRUE(io_.Has(fleet[0].ip));
  }
  // The other form, HTTP/1.1 with Expect: the device says continue first.
  const std::string r = Upload(1, "/cgi-bin/Upload.cgi", "FirmwareFile", Image("7.0", 5000), 333, "HTTP/1.1", true);
  EXPECT_EQ(r.substr(0, 25), "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_NE(r.find("HTTP/1.1 200 OK", 25), std::string::npos);
  io_.Advance(*sim_, 1001);
  EXPECT_EQ(sim_->device(1).cfg.firmware, "7.0");
  EXPECT_NE(log_.captured().find("\"filename\":\"/home/op/fw/image.bin\""), std::string::npos);
}

TEST_F(HttpSessionTest, ImagesWithoutOurHeaderOrInTheWrongFieldChangeNothing) {
  opt_.timings.restart_ms = 1000;
  auto fleet = GenerateFleet(1, FleetDefaults());
  fleet[0].firmware = "1.0";
  Make(fleet);
  EXPECT_NE(Upload(0, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", Image("", 100), 50).find(" 200 "), std::string::npos);
  io_.Advance(*sim_, 1001);
  EXPECT_EQ(sim_->device(0).cfg.firmware, "1.0");
  // upload.cgi wants its own field name.
  EXPECT_NE(Upload(0, "/cgi-bin/upload.cgi", "FirmwareFile", Image("2.0", 100), 50).find(" 400 "), std::string::npos);
  EXPECT_EQ(sim_->device(0).state, DevState::kUp);
  io_.Advance(*sim_, 1001);
  EXPECT_EQ(sim_->device(0).cfg.firmware, "1.0");
}

TEST_F(HttpSessionTest, CutUploadResetsHalfwayAndKeepsTheVersion) {
  auto fleet = GenerateFleet(1, FleetDefaults());
  fleet[0].faults = kFaultUploadCut;
  fleet[0].firmware = "1.0";
  Make(fleet);
  // In pieces, and the whole request in one read (as a fast local client delivers it).
  for (size_t step : {size_t(999), size_t(1) << 20}) {
    SCOPED_TRACE(step);
    const std::string reply = Upload(0, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", Image("2.0", 10000), step);
    EXPECT_EQ(last_after_, HttpSession::After::kReset);
    EXPECT_TRUE(reply.empty());
    io_.Advance(*sim_, 20000);
    EXPECT_EQ(sim_->device(0).cfg.firmware, "1.0");
  }
  EXPECT_NE(log_.captured().find("\"ev\":\"upload_cut\""), std::string::npos);
}

TEST_F(HttpSessionTest, UploadSavedToDiskMatchesTheImage) {
  TempDir dir;
  opt_.upload_dir = dir.path();
  auto fleet = GenerateFleet(1, FleetDefaults());
  Make(fleet);
  const std::string image = Image("4.4", 70000);
  Upload(0, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", image, 4096);
  const std::string& log = log_.captured();
  const size_t at = log.find("\"saved\":\"");
  ASSERT_NE(at, std::string::npos);
  const std::string path = log.substr(at + 9, log.find('"', at + 9) - at - 9);
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  EXPECT_EQ(ss.str(), image);
}

TEST_F(HttpSessionTest, ChunkedUploadIsAccepted) {
  opt_.timings.restart_ms = 1000;
  auto fleet = GenerateFleet(1, FleetDefaults());
  Make(fleet);
  const std::string boundary = "bnd";
  const std::string body = Multipart(boundary, "FirmwareFile", "f.bin", Image("8.1", 3000));
  std::string chunked;
  for (size_t i = 0; i < body.size(); i += 1000) {
    const size_t n = std::min<size_t>(1000, body.size() - i);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%zx\r\n", n);
    chunked += hex + body.substr(i, n) + "\r\n";
  }
  chunked += "0\r\n\r\n";
  auto s = Open(0);
  Feed(*s, "POST /cgi-bin/Upload.cgi HTTP/1.1\r\nTransfer-Encoding: chunked\r\n"
           "Content-Type: multipart/form-data; boundary=bnd\r\n\r\n" + chunked, 77);
  EXPECT_NE(Output(*s).find(" 200 "), std::string::npos);
  io_.Advance(*sim_, 1001);
  EXPECT_EQ(sim_->device(0).cfg.firmware, "8.1");
}

TEST_F(HttpSessionTest, SplitHangAndBrokenRequests) {
  opt_.timings.split_gap_ms = 40;
  auto fleet = GenerateFleet(3, FleetDefaults());
  fleet[0].faults = kFaultHttpSplit;
  fleet[0].firmware = "5.2.1";
  fleet[1].faults = kFaultHttpHang;
  fleet[2].faults = kFaultHttpRefuse;
  Make(fleet);
  auto s = Open(0);
  Feed(*s, "GET /GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version HTTP/1.1\r\n\r\n");
  ASSERT_EQ(s->out().size(), 3u);
  EXPECT_EQ(s->out()[0].delay_ms, 0u);
  EXPECT_EQ(s->out()[0].bytes.find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(s->out()[1].bytes, "\r\n");
  EXPECT_EQ(s->out()[1].delay_ms, 40u);
  EXPECT_EQ(s->out()[2].bytes, "5.2.1\r\n");
  EXPECT_EQ(s->out()[2].delay_ms, 40u);

  auto h = Open(1);
  Feed(*h, "GET /GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version HTTP/1.1\r\n\r\n");
  EXPECT_EQ(h->after(), HttpSession::After::kHang);
  EXPECT_TRUE(h->out().empty());
  Feed(*h, "more bytes");
  EXPECT_TRUE(h->out().empty());

  EXPECT_TRUE(sim_->RefusesConnection(2));

  auto big = Open(0);
  Feed(*big, "GET /" + std::string(kMaxHeadBytes + 100, 'a'), 1000);
  EXPECT_NE(Output(*big).find(" 431 "), std::string::npos);
  auto junk = Open(0);
  Feed(*junk, std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15));
  EXPECT_NE(Output(*junk).find(" 400 "), std::string::npos);
  auto nolen = Open(0);
  Feed(*nolen, "POST /cgi-bin/upload.cgi HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n\r\n");
  EXPECT_NE(Output(*nolen).find(" 411 "), std::string::npos);
  auto notmp = Open(0);
  Feed(*notmp, "POST /cgi-bin/upload.cgi HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc");
  EXPECT_NE(Output(*notmp).find(" 400 "), std::string::npos);
  auto huge = Open(0);
  Feed(*huge, "POST /cgi-bin/GetJsonValue.cgi?TYPE=json HTTP/1.1\r\nContent-Length: 999999\r\n\r\n");
  EXPECT_NE(Output(*huge).find(" 413 "), std::string::npos);
  auto half = Open(0);
  Feed(*half, "GET /GetValue.asp HTT");
  half->OnPeerClosed();
  EXPECT_TRUE(half->out().empty());
  EXPECT_EQ(half->after(), HttpSession::After::kClose);
  EXPECT_NE(log_.captured().find("\"ev\":\"http_incomplete\""), std::string::npos);
}

TEST_F(HttpSessionTest, EachFormOnlyAtItsCgiAndTheUploadFaults) {
  opt_.timings.restart_ms = 1000;
  auto fleet = GenerateFleet(4, FleetDefaults());
  for (auto& d : fleet) d.firmware = "1.0";
  fleet[1].faults = kFaultWrongVersion;
  fleet[2].faults = kFaultNoReturn;
  fleet[3].faults = kFaultUploadStall;
  Make(fleet);
  // Upload.cgi wants FirmwareFile, as upload.cgi wants _f_l_a_s_h_3_.
  EXPECT_NE(Upload(0, "/cgi-bin/Upload.cgi", "_f_l_a_s_h_3_", Image("2.0", 100), 50).find(" 400 "), std::string::npos);
  const std::string image = Image("2.0", 3000);
  EXPECT_NE(Upload(0, "/cgi-bin/Upload.cgi", "FirmwareFile", image, 50).find(" 200 "), std::string::npos);
  EXPECT_NE(log_.captured().find("\"bytes\":" + std::to_string(image.size())), std::string::npos);

  EXPECT_NE(Upload(1, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", image, 700).find(" 200 "), std::string::npos);
  EXPECT_NE(Upload(2, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", image, 700).find(" 200 "), std::string::npos);
  // A stalled upload is no longer read and never answered, also when one
  // read carries the body past the stall point to its end (a loaded simulator).
  for (size_t step : {size_t(700), size_t(1) << 20}) {
    EXPECT_TRUE(Upload(3, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", image, step).empty()) << step;
    EXPECT_EQ(last_after_, HttpSession::After::kHang) << step;
  }
  EXPECT_NE(log_.captured().find("\"ev\":\"upload_stall\""), std::string::npos);
  io_.Advance(*sim_, 1500);
  EXPECT_EQ(sim_->device(0).cfg.firmware, "2.0");
  EXPECT_EQ(sim_->device(1).state, DevState::kUp);  // back with its old version
  EXPECT_EQ(sim_->device(1).cfg.firmware, "1.0");
  EXPECT_EQ(sim_->device(2).state, DevState::kDead);  // never back, address released
  EXPECT_FALSE(io_.Has(fleet[2].ip));
  EXPECT_EQ(sim_->device(3).state, DevState::kUp);
  EXPECT_EQ(sim_->device(3).cfg.firmware, "1.0");
}

// A device that restarts with its image instead of answering the upload, and
// one that refuses its factory default only after a while.
TEST_F(HttpSessionTest, UploadResetRestartsAndLateFactoryRefusalWaits) {
  opt_.timings.restart_ms = 1000;
  opt_.timings.refuse_delay_ms = 4321;
  auto fleet = GenerateFleet(2, FleetDefaults());
  fleet[0].firmware = "1.0";
  fleet[0].faults = kFaultUploadReset;
  fleet[1].faults = kFaultFactoryRefuseLate;
  Make(fleet);
  EXPECT_TRUE(Upload(0, "/cgi-bin/upload.cgi", "_f_l_a_s_h_3_", Image("2.0", 5000), 700).empty());
  EXPECT_EQ(last_after_, HttpSession::After::kReset);
  EXPECT_EQ(sim_->device(0).state, DevState::kSilent);
  io_.Advance(*sim_, 1001);
  EXPECT_EQ(sim_->device(0).state, DevState::kUp);
  EXPECT_EQ(sim_->device(0).cfg.firmware, "2.0");

  auto s = Open(1);
  Feed(*s, "GET /SysCommand.asp?USER=root&PWD=tulp&TYPE=factoryDefault HTTP/1.0\r\n\r\n");
  ASSERT_EQ(s->out().size(), 1u);
  EXPECT_EQ(s->out().front().delay_ms, 4321u);
  EXPECT_EQ(s->out().front().bytes.substr(0, 12), "HTTP/1.0 401");
  EXPECT_EQ(sim_->device(1).state, DevState::kUp);  // no reset
  EXPECT_EQ(Get(1, "/SysCommand.asp?USER=root&PWD=tulp&TYPE=serial").substr(0, 15), "HTTP/1.1 200 OK");
}
