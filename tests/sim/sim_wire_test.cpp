// The device-side codec against the tool's own builders and parsers.
#include "sim/sim_wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_wire.h"

using namespace dksim;

namespace {

SetNetworkRequest BaseRequest(int type) {
  SetNetworkRequest r;
  std::memset(&r, 0, sizeof r);
  const uint8_t mac[6] = {0x02, 0x44, 0x4B, 0x01, 0x02, 0x03};
  std::memcpy(r.mac, mac, 6);
  r.device_byte = 0x21;
  r.network_type = type;
  std::memcpy(r.admin_id, "root", 4);
  std::strcpy(r.admin_password, "tulp");
  r.ip = IpFromOctets(192, 168, 1, 161);
  r.subnet_mask = IpFromOctets(255, 255, 255, 0);
  r.gateway = IpFromOctets(192, 168, 1, 1);
  r.dns_server = IpFromOctets(8, 8, 4, 4);
  return r;
}

std::vector<uint8_t> Build(const SetNetworkRequest& r, uint32_t rnd = 0x1234) {
  std::vector<uint8_t> buf(kTalqMaxRequest);
  const int n = TalqBuildSetNetwork(r, rnd, buf.data(), buf.size());
  EXPECT_GT(n, 0);
  buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return buf;
}

SimDeviceConfig SampleDevice() {
  SimDeviceConfig d;
  const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  std::memcpy(d.mac, mac, 6);
  d.device_byte = 0x42;
  d.model = "NVT-E4100";
  d.text2 = "second";
  d.text3 = "third";
  d.network_type = 2;
  d.ip = IpFromOctets(10, 77, 1, 9);
  d.mask = IpFromOctets(255, 255, 0, 0);
  d.gateway = IpFromOctets(10, 77, 0, 1);
  d.dns = IpFromOctets(10, 77, 0, 2);
  d.pppoe1 = "user@isp";
  d.pppoe2 = "secret";
  d.pppoe3 = "service";
  d.pppoe_value1 = 0x01020304;
  d.pppoe_value2 = 7;
  d.pppoe_value3 = 1500;
  d.trailing = 0x5A;
  d.has_item2 = true;
  d.item2 = 9;
  d.web_port = 8080;
  d.av_port1 = 554;
  d.av_port2 = 555;
  d.av_port3 = 556;
  return d;
}

DeviceRecord ParseReply(const SimDeviceConfig& d, uint32_t sender, int* rc) {
  uint8_t buf[kMaxReply];
  const int n = BuildDiscoveryReply(d, 0, buf, sizeof buf);
  EXPECT_GT(n, 0);
  DeviceRecord rec;
  ZeroRecord(&rec);
  *rc = TalqParseDiscoveryReply(buf, static_cast<size_t>(n), sender, &rec);
  return rec;
}

}  // namespace

TEST(SimWire, DiscoveryRequestOfTheClientParses) {
  uint8_t buf[16];
  const int n = TalqBuildDiscoveryRequest(buf, sizeof buf);
  ASSERT_EQ(n, 9);
  ParsedRequest r;
  ASSERT_EQ(ParseRequest(buf, static_cast<size_t>(n), &r), 0);
  EXPECT_EQ(r.kind, RequestKind::kDiscovery);
  EXPECT_EQ(r.version, 2);
  EXPECT_EQ(r.device_byte, 0xFF);
}

TEST(SimWire, SetNetworkStaticRoundTrip) {
  const SetNetworkRequest req = BaseRequest(1);
  const auto buf = Build(req);
  ASSERT_EQ(buf.size(), 62u);
  ParsedRequest r;
  ASSERT_EQ(ParseRequest(buf.data(), buf.size(), &r), 0);
  EXPECT_EQ(r.kind, RequestKind::kSetNetwork);
  EXPECT_EQ(0, std::memcmp(r.mac, req.mac, 6));
  EXPECT_EQ(r.device_byte, 0x21);
  EXPECT_EQ(r.network_type, 1);
  char id[9];
  AdminIdText(r.admin_id, id);
  EXPECT_STREQ(id, "root");
  EXPECT_STREQ(r.password, "tulp");
  EXPECT_EQ(r.password_len, 4);
  EXPECT_EQ(r.ip, req.ip);
  EXPECT_EQ(r.mask, req.subnet_mask);
  EXPECT_EQ(r.gateway, req.gateway);
  EXPECT_EQ(r.dns, req.dns_server);
  EXPECT_FALSE(r.unknown_type);
}

TEST(SimWire, SetNetworkDhcpAndPppoeRoundTrip) {
  SetNetworkRequest dhcp = BaseRequest(0);
  std::memcpy(dhcp.admin_id, "operator", 8);  // 8 characters: no terminator on the wire
  const auto b0 = Build(dhcp);
  ASSERT_EQ(b0.size(), 46u);
  ParsedRequest r0;
  ASSERT_EQ(ParseRequest(b0.data(), b0.size(), &r0), 0);
  EXPECT_EQ(r0.network_type, 0);
  char id[9];
  AdminIdText(r0.admin_id, id);
  EXPECT_STREQ(id, "operator");

  SetNetworkRequest ppp = BaseRequest(2);
  std::strcpy(ppp.pppoe_text1, "abcde");
  std::strcpy(ppp.pppoe_text2, "fghijk");
  ppp.pppoe_text3[0] = 0;
  ppp.pppoe_value1 = 0xA1B2C3D4;
  ppp.pppoe_value2 = 0x7F;
  ppp.pppoe_value3 = 65536 + 3;
  const auto b2 = Build(ppp);
  ASSERT_EQ(b2.size(), 69u);
  ParsedRequest r2;
  ASSERT_EQ(ParseRequest(b2.data(), b2.size(), &r2), 0);
  EXPECT_EQ(r2.network_type, 2);
  EXPECT_STREQ(r2.pppoe1, "abcde");
  EXPECT_STREQ(r2.pppoe2, "fghijk");
  EXPECT_STREQ(r2.pppoe3, "");
  EXPECT_EQ(r2.pppoe_value1, 0xA1B2C3D4u);
  EXPECT_EQ(r2.pppoe_value2, 0x7F);
  EXPECT_EQ(r2.pppoe_value3, 65539u);
}

TEST(SimWire, PasswordsDecodeWhateverTheRandomValue) {
  for (uint32_t rnd : {0u, 1u, 0xFFu, 0x1234u, 0xFFFFu, 0xDEADBEEFu}) {
    for (const char* pw : {"", "a", "tulp", "0123456789abcde", "0123456789abcdef", "0123456789abcdefXYZ"}) {
      SetNetworkRequest req = BaseRequest(1);
      std::memset(req.admin_password, 0, sizeof req.admin_password);
      std::strncpy(req.admin_password, pw, sizeof req.admin_password - 1);
      const auto buf = Build(req, rnd);
      ParsedRequest r;
      ASSERT_EQ(ParseRequest(buf.data(), buf.size(), &r), 0);
      EXPECT_EQ(std::string(r.password), std::string(pw).substr(0, 16)) << "r=" << rnd << " pw=" << pw;
    }
  }
}

TEST(SimWire, CredentialBlockBuiltByHandDecodes) {
  // The documented steps, done here independently of the tool's builder.
  const char* secret = "Secret#42";
  uint8_t b[32] = {};
  const uint32_t rnd = 0xBEEF;
  b[0] = uint8_t(rnd);
  b[1] = uint8_t(rnd >> 8);
  std::memcpy(b + 16, secret, std::strlen(secret));
  for (int i = 2; i < 32; ++i) b[i] ^= b[0];
  for (int i = 0; i < 16; ++i) std::swap(b[i], b[31 - i]);

  std::vector<uint8_t> dg(46, 0);
  std::memcpy(dg.data(), "ADCT", 4);
  dg[4] = 2;
  dg[5] = 46;
  dg[7] = 4;
  dg[15] = 0;
  std::memcpy(dg.data() + 16, "admin", 5);
  std::memcpy(dg.data() + 24, b, 22);
  ParsedRequest r;
  ASSERT_EQ(ParseRequest(dg.data(), dg.size(), &r), 0);
  EXPECT_STREQ(r.password, secret);
}

TEST(SimWire, Type3AndCommand5RoundTrip) {
  SetNetworkType3Request t3;
  std::memset(&t3, 0, sizeof t3);
  t3.mac[5] = 9;
  std::memcpy(t3.admin_id, "root", 4);
  std::strcpy(t3.password, "tulp");
  std::strcpy(t3.text1, "first text");
  std::strcpy(t3.text2, "2nd");
  uint8_t buf[kTalqMaxRequest];
  const int n3 = TalqBuildSetNetworkType3(t3, 77, buf, sizeof buf);
  ASSERT_EQ(n3, 48 + 10 + 3);
  ParsedRequest r3;
  ASSERT_EQ(ParseRequest(buf, static_cast<size_t>(n3), &r3), 0);
  EXPECT_EQ(r3.network_type, 3);
  EXPECT_STREQ(r3.text1, "first text");
  EXPECT_STREQ(r3.text2, "2nd");
  EXPECT_STREQ(r3.password, "tulp");

  Command5Request c5;
  std::memset(&c5, 0, sizeof c5);
  c5.mac[0] = 0xAA;
  std::memcpy(c5.admin_id, "root", 4);
  std::strcpy(c5.secret1, "old-secret");
  c5.flag = 0x33;
  std::strcpy(c5.secret2, "new-secret-16chr");
  const int n5 = TalqBuildCommand5(c5, 5, buf, sizeof buf);
  ASSERT_EQ(n5, 69);
  ParsedRequest r5;
  ASSERT_EQ(ParseRequest(buf, static_cast<size_t>(n5), &r5), 0);
  EXPECT_EQ(r5.kind, RequestKind::kCommand5);
  EXPECT_EQ(r5.mac[0], 0xAA);
  EXPECT_STREQ(r5.password, "old-secret");
  EXPECT_EQ(r5.flag, 0x33);
  EXPECT_STREQ(r5.secret2, "new-secret-16chr");
}

TEST(SimWire, MalformedRequestsAreRejectedWithTheirReason) {
  const auto good = Build(BaseRequest(1));
  ParsedRequest r;
  EXPECT_EQ(ParseRequest(good.data(), 7, &r), kParseTooShort);

  auto magic = good;
  magic[0] = 'T';
  EXPECT_EQ(ParseRequest(magic.data(), magic.size(), &r), kParseBadMagic);

  for (int delta : {-1, 1}) {
    auto len = good;
    len[5] = static_cast<uint8_t>(len[5] + delta);
    EXPECT_EQ(ParseRequest(len.data(), len.size(), &r), kParseBadLength) << delta;
  }

  auto cmd = good;
  cmd[7] = 9;
  EXPECT_EQ(ParseRequest(cmd.data(), cmd.size(), &r), kParseUnknownCommand);

  // Static request cut to the DHCP size, with a consistent length field.
  std::vector<uint8_t> cut(good.begin(), good.begin() + 46);
  cut[5] = 46;
  EXPECT_EQ(ParseRequest(cut.data(), cut.size(), &r), kParseBadSize);

  // PPPoE text whose length byte runs past the end.
  SetNetworkRequest ppp = BaseRequest(2);
  std::strcpy(ppp.pppoe_text1, "abc");
  auto p = Build(ppp);
  p[46] = 200;
  EXPECT_EQ(ParseRequest(p.data(), p.size(), &r), kParseTextOverrun);

  // Discovery of the wrong size.
  uint8_t disc[10] = {'A', 'D', 'C', 'T', 2, 10, 0, 3, 0xFF, 0};
  EXPECT_EQ(ParseRequest(disc, sizeof disc, &r), kParseBadSize);
}

TEST(SimWire, UnknownNetworkTypeStillNamesItsDevice) {
  auto buf = Build(BaseRequest(1));
  buf[15] = 7;
  ParsedRequest r;
  ASSERT_EQ(ParseRequest(buf.data(), buf.size(), &r), 0);
  EXPECT_TRUE(r.unknown_type);
  EXPECT_EQ(r.mac[5], 0x03);
  EXPECT_STREQ(r.password, "tulp");
}

TEST(SimWire, EveryTruncationAndEveryByteFlipIsHandled) {
  SetNetworkRequest ppp = BaseRequest(2);
  std::strcpy(ppp.pppoe_text1, "abcde");
  std::strcpy(ppp.pppoe_text3, "xyz");
  const auto good = Build(ppp);
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> t(good.begin(), good.begin() + static_cast<long>(n));
    if (n >= 7) {
      t[5] = uint8_t(n);  // consistent length field: the layout check must catch it
      t[6] = 0;
    }
    ParsedRequest r;
    EXPECT_LT(ParseRequest(t.data(), t.size(), &r), 0) << "length " << n;
  }
  for (size_t i = 8; i < good.size(); ++i) {
    auto f = good;
    f[i] ^= 0xFF;
    ParsedRequest r;
    (void)ParseRequest(f.data(), f.size(), &r);  // any verdict, but within bounds (ASan build)
  }
}

TEST(SimWire, DiscoveryReplyParsesIntoEveryField) {
  const SimDeviceConfig d = SampleDevice();
  const uint32_t sender = IpFromOctets(10, 77, 1, 200);
  int rc = 0;
  const DeviceRecord rec = ParseReply(d, sender, &rc);
  ASSERT_EQ(rc, 1);
  EXPECT_EQ(0, std::memcmp(rec.mac, d.mac, 6));
  EXPECT_EQ(rec.ip, sender);
  EXPECT_EQ(rec.device_byte, 0x42);
  EXPECT_EQ(rec.network_type, 2);
  EXPECT_STREQ(rec.model_name, "NVT-E4100");
  EXPECT_STREQ(rec.text2, "second");
  EXPECT_STREQ(rec.text3, "third");
  EXPECT_EQ(rec.configured_ip, d.ip);
  EXPECT_EQ(rec.subnet_mask, d.mask);
  EXPECT_EQ(rec.gateway, d.gateway);
  EXPECT_EQ(rec.dns_server, d.dns);
  EXPECT_STREQ(rec.pppoe_text1, "user@isp");
  EXPECT_STREQ(rec.pppoe_text2, "secret");
  EXPECT_STREQ(rec.pppoe_text3, "service");
  EXPECT_EQ(rec.pppoe_value1, 0x01020304u);
  EXPECT_EQ(rec.pppoe_value2, 7);
  EXPECT_EQ(rec.pppoe_value3, 1500u);
  EXPECT_EQ(rec.trailing_byte, 0x5Au);
  EXPECT_EQ(rec.item2_value, 9u);
  EXPECT_EQ(rec.web_port, 8080);
  EXPECT_EQ(rec.av_port1, 554);
  EXPECT_EQ(rec.av_port2, 555);
  EXPECT_EQ(rec.av_port3, 556);
}

TEST(SimWire, ReplyVersionAndItemsDecideThePorts) {
  SimDeviceConfig d = SampleDevice();
  d.reply_version = 2;
  int rc = 0;
  DeviceRecord rec = ParseReply(d, 1, &rc);
  ASSERT_EQ(rc, 1);
  EXPECT_EQ(rec.web_port, 0);
  EXPECT_EQ(rec.av_port1, 0);
  EXPECT_EQ(rec.item2_value, 9u);  // item 2 does not depend on the version

  d.reply_version = 3;
  d.items = kItemMaskWeb | kItemMaskAv1;
  rec = ParseReply(d, 1, &rc);
  ASSERT_EQ(rc, 1);
  EXPECT_EQ(rec.web_port, 8080);
  EXPECT_EQ(rec.av_port1, 554);
  EXPECT_EQ(rec.av_port2, 0);
  EXPECT_EQ(rec.av_port3, 0);

  d.items = 0;
  d.has_item2 = false;
  uint8_t buf[kMaxReply];
  const int n = BuildDiscoveryReply(d, 0, buf, sizeof buf);
  // Fixed part only: 17 + three texts + 16 + three texts + 10.
  EXPECT_EQ(n, 17 + (1 + 9) + (1 + 6) + (1 + 5) + 16 + (1 + 8) + (1 + 6) + (1 + 7) + 10);
}

TEST(SimWire, LongModelNameKeepsLaterFieldsInPlace) {
  SimDeviceConfig d = SampleDevice();
  d.model = std::string(200, 'M');
  int rc = 0;
  const DeviceRecord rec = ParseReply(d, 1, &rc);
  ASSERT_EQ(rc, 1);
  EXPECT_EQ(std::string(rec.model_name), std::string(63, 'M'));
  EXPECT_STREQ(rec.text2, "second");
  EXPECT_EQ(rec.web_port, 8080);

  d.model = std::string(256, 'M');
  uint8_t buf[kMaxReply];
  EXPECT_EQ(BuildDiscoveryReply(d, 0, buf, sizeof buf), -1);
}

TEST(SimWire, LengthAdjustmentIsRejectedByTheClient) {
  const SimDeviceConfig d = SampleDevice();
  uint8_t buf[kMaxReply];
  const int n = BuildDiscoveryReply(d, 1, buf, sizeof buf);
  ASSERT_GT(n, 0);
  DeviceRecord rec;
  EXPECT_EQ(TalqParseDiscoveryReply(buf, static_cast<size_t>(n), 1, &rec), -3);

  uint8_t res[8];
  ASSERT_EQ(BuildResultReply(3, 2, 0, res, sizeof res), 8);
  EXPECT_EQ(TalqParseResultReply(res, 8), 2);
  ASSERT_EQ(BuildResultReply(3, 0, 1, res, sizeof res), 8);
  EXPECT_EQ(TalqParseResultReply(res, 8), -1);
}

TEST(SimWire, AddressAndMaskChecks) {
  EXPECT_TRUE(MaskIsContiguous(IpFromOctets(255, 255, 255, 0)));
  EXPECT_TRUE(MaskIsContiguous(IpFromOctets(255, 255, 255, 255)));
  EXPECT_TRUE(MaskIsContiguous(IpFromOctets(128, 0, 0, 0)));
  EXPECT_TRUE(MaskIsContiguous(IpFromOctets(255, 255, 254, 0)));
  EXPECT_FALSE(MaskIsContiguous(IpFromOctets(255, 0, 255, 0)));
  EXPECT_FALSE(MaskIsContiguous(IpFromOctets(255, 255, 255, 1)));
  EXPECT_FALSE(MaskIsContiguous(IpFromOctets(0, 255, 255, 255)));
  EXPECT_FALSE(MaskIsContiguous(0));

  EXPECT_TRUE(IpUsableForHost(IpFromOctets(192, 168, 1, 2)));
  EXPECT_TRUE(IpUsableForHost(IpFromOctets(10, 77, 1, 1)));
  EXPECT_FALSE(IpUsableForHost(0));
  EXPECT_FALSE(IpUsableForHost(IpFromOctets(255, 255, 255, 255)));
  EXPECT_FALSE(IpUsableForHost(IpFromOctets(127, 0, 0, 1)));
  EXPECT_FALSE(IpUsableForHost(IpFromOctets(224, 0, 0, 1)));
  EXPECT_FALSE(IpUsableForHost(IpFromOctets(0, 1, 2, 3)));
}
